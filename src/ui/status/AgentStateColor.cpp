#include "status/AgentStateColor.h"

#include <QGuiApplication>
#include <QPalette>

namespace korvane {

bool paletteIsDark()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

QColor stateColor(AgentState state)
{
    return QColor::fromRgb(stateRgb(state, paletteIsDark()));
}

} // namespace korvane
