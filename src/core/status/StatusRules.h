#pragma once

#include "status/AgentState.h"
#include "status/StateRecord.h"
#include "status/WindowStatus.h"

#include <QString>
#include <vector>

namespace korvane {

// What a set of state records means at one moment: each record's state by its
// age, one row per window and per tab, and the overall state. Pure functions of
// the records and the time; the store feeds them a pass's records.
class StatusRules {
public:
    static constexpr double kWorkingTimeout = 900; // a "working" record older than this is idle
    static constexpr double kWaitingGrace = 6;     // "pending" is working up to this age, then waiting
    static constexpr double kDisplayWindow = 7200; // rows older than this are not shown
    static constexpr double kPruneAfter = 86400;   // state files older than this are deleted

    // One record of a pass and the name of the file it came from, without ".json".
    struct Input {
        StateRecord record;
        QString fileBaseName;
    };
    struct Result {
        WindowStatusList tabs;
        WindowStatusList windows;
        AgentState state = AgentState::Unknown;
    };

    static bool isExpired(double ts, double now) { return now - ts > kPruneAfter; }
    static AgentState resolve(const StateRecord& record, double age);
    static Result evaluate(const std::vector<Input>& inputs, double now);
    static QString windowName(const QString& workspaceKey);
};

} // namespace korvane
