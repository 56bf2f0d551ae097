#include "overlay/TrafficLightOverlay.h"

#include "overlay/CombinedLightView.h"
#include "overlay/DotStripView.h"
#include "overlay/LightStyle.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/OverlayPanel.h"
#include "overlay/WindowLightView.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/DefaultsKeys.h"
#include "settings/LightRows.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QScreen>
#include <QSet>

Q_LOGGING_CATEGORY(lcOverlay, "korvane.overlay")

namespace korvane {

TrafficLightOverlay::TrafficLightOverlay(const LightRows& rows, AppSettings& settings, UserDefaults& defaults,
                                         QObject* parent)
    : QObject(parent), m_rows(rows), m_settings(settings), m_defaults(defaults), m_built(layout())
{
    subscribe();
}

TrafficLightOverlay::~TrafficLightOverlay()
{
    // The panels are top-level windows without a parent; they go with the overlay.
    delete m_combinedPanel;
    delete m_rowPanel;
    qDeleteAll(m_windowPanels);
}

TrafficLightOverlay::Layout TrafficLightOverlay::layout() const
{
    const AppSettings& s = m_settings;
    return {s.overlayVisible(), s.overlayMode(), s.orientation(), s.perTab(),
            s.lightOrder(),     s.showLabels(),  s.scale()};
}

void TrafficLightOverlay::subscribe()
{
    // Every assignment is announced, each in a later turn of the event loop;
    // only one that changed what the panels were built from rebuilds them.
    connect(
        &m_settings, &AppSettings::changed, this,
        [this] {
            if (layout() != m_built)
                rebuild();
        },
        Qt::QueuedConnection);
    connect(&m_rows, &LightRows::changed, this, &TrafficLightOverlay::handleWindowsChanged,
            Qt::QueuedConnection);
    // Screens coming and going move the lights onto the screens there are, and
    // back to their saved places when a screen returns.
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &TrafficLightOverlay::rebuild,
            Qt::QueuedConnection);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &TrafficLightOverlay::rebuild,
            Qt::QueuedConnection);
    // The rows as they are now arrive once, shortly after creation.
    QMetaObject::invokeMethod(this, &TrafficLightOverlay::handleWindowsChanged, Qt::QueuedConnection);
}

void TrafficLightOverlay::toggle()
{
    m_settings.setOverlayVisible(!m_settings.overlayVisible());
    rebuild();
}

void TrafficLightOverlay::rebuild()
{
    teardown();
    m_built = layout();
    if (!m_built.visible)
        return;
    qCDebug(lcOverlay) << "building" << rawValue(m_settings.overlayMode()) << "at scale"
                       << m_settings.scale();
    switch (m_settings.overlayMode()) {
    case OverlayMode::Combined:
        m_combinedPanel = makeCombinedPanel();
        m_combinedPanel->orderFront();
        break;
    case OverlayMode::PerWindow:
        syncWindowPanels();
        break;
    case OverlayMode::Row:
        m_rowPanel = makeRowPanel();
        m_rowPanel->orderFront();
        break;
    }
}

void TrafficLightOverlay::teardown()
{
    dropPanel(m_combinedPanel);
    m_combinedPanel = nullptr;
    dropPanel(m_rowPanel);
    m_rowPanel = nullptr;
    m_rowWindowIDs.clear();
    for (OverlayPanel* panel : std::as_const(m_windowPanels))
        dropPanel(panel);
    m_windowPanels.clear();
    m_windowPanelScale.clear();
}

void TrafficLightOverlay::dropPanel(OverlayPanel* panel)
{
    if (!panel)
        return;
    panel->orderOut();
    // Later: a teardown may be reached from an event the panel is still handling.
    panel->deleteLater();
}

QList<QRect> TrafficLightOverlay::availableAreas()
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    return areas;
}

int TrafficLightOverlay::panelCount() const
{
    return (m_combinedPanel ? 1 : 0) + (m_rowPanel ? 1 : 0) + static_cast<int>(m_windowPanels.size());
}

void TrafficLightOverlay::handleWindowsChanged()
{
    if (layout() != m_built) {
        rebuild(); // a preference changed the rows too; its own turn then finds nothing to do
        return;
    }
    if (!m_built.visible)
        return;
    switch (m_settings.overlayMode()) {
    case OverlayMode::Combined:
        break; // the combined light follows the store by itself
    case OverlayMode::PerWindow:
        syncWindowPanels();
        break;
    case OverlayMode::Row:
        resizeRowPanelIfNeeded();
        break;
    }
}

QStringList TrafficLightOverlay::currentRowIDs() const
{
    return m_rows.ids();
}

void TrafficLightOverlay::syncWindowPanels()
{
    const WindowStatusList& units = m_rows.rows();
    QSet<QString> wanted;
    for (const WindowStatus& unit : units)
        wanted.insert(unit.id);

    const double scale = m_settings.scale();
    for (auto it = m_windowPanels.begin(); it != m_windowPanels.end();) {
        const auto built = m_windowPanelScale.constFind(it.key());
        // A panel built at another scale (a rebuild is on its way) is replaced too.
        if (wanted.contains(it.key()) && built != m_windowPanelScale.cend() && *built == scale) {
            ++it;
            continue;
        }
        dropPanel(it.value());
        m_windowPanelScale.remove(it.key());
        it = m_windowPanels.erase(it);
    }

    for (qsizetype i = 0; i < units.size(); ++i) {
        const QString& id = units.at(i).id;
        if (m_windowPanels.contains(id))
            continue;
        // Counts the panels held and the unit's place, so three new units take
        // slots 0, 2 and 4: a default placement never lands on a kept panel.
        const int slot = static_cast<int>(m_windowPanels.size() + i);
        OverlayPanel* panel = makeWindowPanel(id, slot);
        m_windowPanels.insert(id, panel);
        m_windowPanelScale.insert(id, scale);
        panel->orderFront();
    }
}

void TrafficLightOverlay::resizeRowPanelIfNeeded()
{
    const QStringList ids = currentRowIDs();
    if (ids == m_rowWindowIDs)
        return;
    m_rowWindowIDs = ids;
    if (!m_rowPanel)
        return;
    const QSize size = rowSize(m_settings.scale(), static_cast<int>(ids.size()), m_settings.showLabels(),
                               m_settings.orientation());
    const QRect frame(m_rowPanel->origin(), m_rowPanel->size());
    const QList<QRect> screens = availableAreas();
    const QPoint origin =
        OverlayGeometry::resizedOrigin(frame, size, OverlayGeometry::screenFor(frame, screens));
    m_rowPanel->setFrame(OverlayGeometry::fitted(origin, size, screens), size);
}

QSize TrafficLightOverlay::housingSize(double scale, bool hasLabel, OverlayOrientation orientation)
{
    return OverlayGeometry::housingSize(scale, hasLabel, orientation, LightStyle::captionLineHeight(scale));
}

QSize TrafficLightOverlay::rowSize(double scale, int count, bool hasLabel, OverlayOrientation orientation)
{
    return OverlayGeometry::rowSize(scale, count, hasLabel, orientation,
                                    LightStyle::captionLineHeight(scale));
}

OverlayPanel* TrafficLightOverlay::makePanel(QWidget* content, QSize size, double cornerRadius,
                                             const QString& originKey, int defaultIndex)
{
    QPoint origin = OverlayGeometry::kFallbackOrigin;
    if (const std::optional<QString> saved = m_defaults.stringValue(originKey))
        origin = OverlayGeometry::parsePoint(*saved);
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        origin = OverlayGeometry::defaultOrigin(screen->availableGeometry(), size, defaultIndex);
    // A place saved on a screen that is gone is shown on one that is there;
    // the saved value stays for when that screen comes back.
    origin = OverlayGeometry::fitted(origin, size, availableAreas());

    auto* panel = new OverlayPanel(content, size, cornerRadius, originKey, origin, m_defaults);
    connect(panel, &OverlayPanel::contextMenuRequested, this, &TrafficLightOverlay::showContextMenu);
    return panel;
}

OverlayPanel* TrafficLightOverlay::makeCombinedPanel()
{
    const double s = m_settings.scale();
    const OverlayOrientation o = m_settings.orientation();
    OverlayPanel* panel =
        makePanel(new CombinedLightView(m_rows.store(), s, o), housingSize(s, false, o),
                  OverlayGeometry::kCornerRadius * s, DefaultsKeys::combinedOrigin.key(), 0);
    connect(panel, &OverlayPanel::clicked, this, [this] { Q_EMIT takeMeThereRequested(QString()); });
    return panel;
}

OverlayPanel* TrafficLightOverlay::makeWindowPanel(const QString& id, int defaultIndex)
{
    const double s = m_settings.scale();
    const OverlayOrientation o = m_settings.orientation();
    const bool labels = m_settings.showLabels();
    OverlayPanel* panel = makePanel(new WindowLightView(m_rows, id, labels, s, o), housingSize(s, labels, o),
                                    OverlayGeometry::kCornerRadius * s,
                                    DefaultsKeys::windowOriginPrefix.key() + id, defaultIndex);
    connect(panel, &OverlayPanel::clicked, this, [this, id] { Q_EMIT takeMeThereRequested(id); });
    return panel;
}

OverlayPanel* TrafficLightOverlay::makeRowPanel()
{
    const double s = m_settings.scale();
    const OverlayOrientation o = m_settings.orientation();
    const bool labels = m_settings.showLabels();
    auto* view = new DotStripView(m_rows, labels, s, o);
    m_rowWindowIDs = currentRowIDs();
    OverlayPanel* panel = makePanel(view, rowSize(s, static_cast<int>(m_rowWindowIDs.size()), labels, o),
                                    OverlayGeometry::kCornerRadius * s, DefaultsKeys::rowOrigin.key(), 0);
    connect(panel, &OverlayPanel::clicked, this, [this, view, panel](QPoint pos) {
        if (const std::optional<QString> id = view->idAt(view->mapFrom(panel, pos)))
            Q_EMIT takeMeThereRequested(*id);
    });
    return panel;
}

void TrafficLightOverlay::setContextMenu(QMenu* menu)
{
    m_menu = menu;
}

void TrafficLightOverlay::showContextMenu(QPoint globalPos)
{
    if (m_menu)
        m_menu->popup(globalPos);
}

} // namespace korvane
