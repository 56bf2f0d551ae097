#pragma once

#include <QMetaType>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace korvane {

// What an agent, a window or the whole machine is doing.
enum class AgentState : std::uint8_t { Working, Waiting, Idle, Error, Unknown };

inline constexpr std::array<AgentState, 5> kAllAgentStates = {
    AgentState::Working, AgentState::Waiting, AgentState::Idle, AgentState::Error, AgentState::Unknown};

// Waiting for the user, or the turn failed: red, and the user is wanted.
constexpr bool needsYou(AgentState state)
{
    return state == AgentState::Waiting || state == AgentState::Error;
}

// "working", "waiting", "idle", "error", "unknown".
QString rawValue(AgentState state);
// Exactly the five raw values, case-sensitive; anything else (also "pending") is nullopt.
std::optional<AgentState> agentStateFromRaw(QStringView raw);
// The sentence shown for a state in the tray tooltip, the menu and the settings list.
QString statusText(AgentState state);

// The state's colour as 0xRRGGBB, for a light or a dark appearance. Waiting and
// error share one red; only statusText tells them apart.
std::uint32_t stateRgb(AgentState state, bool dark);

} // namespace korvane

Q_DECLARE_METATYPE(korvane::AgentState)
