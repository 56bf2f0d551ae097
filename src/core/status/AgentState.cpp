#include "status/AgentState.h"

namespace korvane {

QString rawValue(AgentState state)
{
    switch (state) {
    case AgentState::Working:
        return QStringLiteral("working");
    case AgentState::Waiting:
        return QStringLiteral("waiting");
    case AgentState::Idle:
        return QStringLiteral("idle");
    case AgentState::Error:
        return QStringLiteral("error");
    case AgentState::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

std::optional<AgentState> agentStateFromRaw(QStringView raw)
{
    for (AgentState s : kAllAgentStates) {
        if (raw == rawValue(s))
            return s;
    }
    return std::nullopt;
}

QString statusText(AgentState state)
{
    switch (state) {
    case AgentState::Working:
        return QStringLiteral("Agent is working\u2026");
    case AgentState::Waiting:
        return QStringLiteral("Waiting for your answer");
    case AgentState::Idle:
        return QStringLiteral("Done \u2014 waiting for your input");
    case AgentState::Error:
        return QStringLiteral("Last turn ended with an error");
    case AgentState::Unknown:
        break;
    }
    return QStringLiteral("No recent agent activity");
}

std::uint32_t stateRgb(AgentState state, bool dark)
{
    // The system palette's orange, red, green and grey in their light and dark variants.
    switch (state) {
    case AgentState::Working:
        return dark ? 0xFF9F0A : 0xFF9500;
    case AgentState::Waiting:
    case AgentState::Error:
        return dark ? 0xFF453A : 0xFF3B30;
    case AgentState::Idle:
        return dark ? 0x30D158 : 0x34C759;
    case AgentState::Unknown:
        break;
    }
    return 0x8E8E93;
}

} // namespace korvane
