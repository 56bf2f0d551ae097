#include "overlay/WindowLightView.h"

#include "status/StatusStore.h"

namespace korvane {

namespace {

std::optional<WindowStatus> findRow(const StatusStore& store, const QString& id)
{
    for (const WindowStatusList* rows : {&store.tabs(), &store.windows()}) {
        for (const WindowStatus& row : *rows) {
            if (row.id == id)
                return row;
        }
    }
    return std::nullopt;
}

} // namespace

WindowLightView::WindowLightView(const StatusStore& store, QString workspaceID, bool showLabels, double scale,
                                 OverlayOrientation orientation, QWidget* parent)
    : LightHousing(AgentState::Unknown, scale, showLabels ? std::optional<QString>(QString()) : std::nullopt,
                   orientation, parent),
      m_store(store), m_workspaceID(std::move(workspaceID)), m_showLabels(showLabels)
{
    const std::optional<WindowStatus> row = window();
    // The first state is shown as it is, not faded in.
    setState(row ? row->state : AgentState::Unknown);
    setLabel(labelFor(row, m_showLabels));
    connect(&store, &StatusStore::changed, this, &WindowLightView::follow);
}

std::optional<WindowStatus> WindowLightView::window() const
{
    return findRow(m_store, m_workspaceID);
}

std::optional<QString> WindowLightView::labelFor(const std::optional<WindowStatus>& row, bool showLabels)
{
    if (!showLabels)
        return std::nullopt;
    return row ? row->name : QString(QChar(kMissingLabel));
}

void WindowLightView::follow()
{
    // The store also announces changes of other rows; equal values repaint nothing.
    const std::optional<WindowStatus> row = window();
    setState(row ? row->state : AgentState::Unknown);
    setLabel(labelFor(row, m_showLabels));
}

} // namespace korvane
