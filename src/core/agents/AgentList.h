#pragma once

#include "agents/Agent.h"

#include <QStringView>
#include <vector>

namespace korvane {

// The agents Korvane serves, in the order their hooks are installed. The one
// place outside the agents' own folders that names them.
class AgentList {
public:
    AgentList() = delete;

    static const std::vector<const Agent*>& all();
    static const Agent* find(QStringView id);
    // " (Claude Code)": the agent of that id as users call it, for after a name; "" when unknown.
    static QString nameSuffix(QStringView id);
};

} // namespace korvane
