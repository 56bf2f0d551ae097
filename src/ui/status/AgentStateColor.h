#pragma once

#include "status/AgentState.h"

#include <QColor>

namespace korvane {

// The state's colour for the application's current palette (light or dark).
QColor stateColor(AgentState state);
bool paletteIsDark();

} // namespace korvane
