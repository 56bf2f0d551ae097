#pragma once

#include "status/AgentState.h"
#include "status/WindowStatus.h"

#include <QByteArray>
#include <QString>

namespace korvane {

// What korvane-status prints for the overall state and the window rows.
class StatusLine {
public:
    StatusLine() = delete;

    // The state's sentence and, when there are windows, how many are in each
    // state: "Agent is working… (1 working, 2 idle)".
    static QString text(AgentState state, const WindowStatusList& windows);
    // One line of JSON for a waybar custom module (return-type json): "text" as
    // above, "tooltip" with one "name: sentence" line per window, and "class"
    // and "alt" set to the state's raw value.
    static QByteArray json(AgentState state, const WindowStatusList& windows);
};

} // namespace korvane
