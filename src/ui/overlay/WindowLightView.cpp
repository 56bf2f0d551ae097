#include "overlay/WindowLightView.h"

#include "settings/LightRows.h"

namespace korvane {

WindowLightView::WindowLightView(const LightRows& rows, QString workspaceID, bool showLabels, double scale,
                                 OverlayOrientation orientation, QWidget* parent)
    : LightHousing(AgentState::Unknown, scale, showLabels ? std::optional<QString>(QString()) : std::nullopt,
                   orientation, parent),
      m_rows(rows), m_workspaceID(std::move(workspaceID)), m_showLabels(showLabels)
{
    const std::optional<WindowStatus> row = window();
    // The first state is shown as it is, not faded in.
    setState(row ? row->state : AgentState::Unknown);
    setLabel(labelFor(row, m_showLabels));
    connect(&rows, &LightRows::changed, this, &WindowLightView::follow);
}

std::optional<WindowStatus> WindowLightView::window() const
{
    if (const WindowStatus* row = m_rows.find(m_workspaceID))
        return *row;
    return std::nullopt;
}

std::optional<QString> WindowLightView::labelFor(const std::optional<WindowStatus>& row, bool showLabels)
{
    if (!showLabels)
        return std::nullopt;
    return row ? row->name : QString(QChar(kMissingLabel));
}

void WindowLightView::follow()
{
    // Changes of other rows are announced too; equal values repaint nothing.
    const std::optional<WindowStatus> row = window();
    setState(row ? row->state : AgentState::Unknown);
    setLabel(labelFor(row, m_showLabels));
}

} // namespace korvane
