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
#include "status/StatusStore.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QScreen>
#include <QSet>

Q_LOGGING_CATEGORY(lcOverlay, "korvane.overlay")

namespace korvane {

TrafficLightOverlay::TrafficLightOverlay(StatusStore& store, AppSettings& settings, UserDefaults& defaults,
                                         QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings), m_defaults(defaults),
      m_lastMode(settings.overlayMode()), m_lastOrientation(settings.orientation()),
      m_lastPerTab(settings.perTab()), m_lastOrder(settings.lightOrder()),
      m_lastShowLabels(settings.showLabels()), m_lastScale(settings.scale())
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

void TrafficLightOverlay::subscribe()
{
    // Each preference: drop values equal to the last one seen (the value at
    // creation counts as seen), act in a later turn of the event loop.
    const auto onChange = [this](auto& last, const auto& value) {
        if (value == last)
            return;
        last = value;
        rebuild();
    };
    connect(
        &m_settings, &AppSettings::overlayModeChanged, this,
        [this, onChange](OverlayMode v) { onChange(m_lastMode, v); }, Qt::QueuedConnection);
    connect(
        &m_settings, &AppSettings::orientationChanged, this,
        [this, onChange](OverlayOrientation v) { onChange(m_lastOrientation, v); }, Qt::QueuedConnection);
    connect(
        &m_settings, &AppSettings::perTabChanged, this,
        [this, onChange](bool v) { onChange(m_lastPerTab, v); }, Qt::QueuedConnection);
    connect(
        &m_settings, &AppSettings::lightOrderChanged, this,
        [this, onChange](const QStringList& v) { onChange(m_lastOrder, v); }, Qt::QueuedConnection);
    connect(
        &m_settings, &AppSettings::showLabelsChanged, this,
        [this, onChange](bool v) { onChange(m_lastShowLabels, v); }, Qt::QueuedConnection);
    connect(
        &m_settings, &AppSettings::scaleChanged, this,
        [this, onChange](double v) { onChange(m_lastScale, v); }, Qt::QueuedConnection);

    connect(&m_store, &StatusStore::windowsChanged, this, &TrafficLightOverlay::handleWindowsChanged,
            Qt::QueuedConnection);
    connect(&m_store, &StatusStore::tabsChanged, this, &TrafficLightOverlay::handleWindowsChanged,
            Qt::QueuedConnection);
    // Screens coming and going move the lights onto the screens there are, and
    // back to their saved places when a screen returns.
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &TrafficLightOverlay::rebuild,
            Qt::QueuedConnection);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &TrafficLightOverlay::rebuild,
            Qt::QueuedConnection);
    // The store's lists as they are now arrive once, shortly after creation.
    QMetaObject::invokeMethod(this, &TrafficLightOverlay::handleWindowsChanged, Qt::QueuedConnection);
}

bool TrafficLightOverlay::isVisibleFlagSet() const
{
    return m_defaults.boolValue(DefaultsKeys::overlayWasVisible.key())
        .value_or(DefaultsKeys::overlayWasVisible.fallback);
}

void TrafficLightOverlay::toggle()
{
    if (!isVisibleFlagSet()) {
        m_defaults.setBool(DefaultsKeys::overlayWasVisible.key(), true);
        rebuild();
    } else {
        m_defaults.setBool(DefaultsKeys::overlayWasVisible.key(), false);
        teardown();
    }
}

void TrafficLightOverlay::rebuild()
{
    teardown();
    if (!isVisibleFlagSet())
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
    if (!isVisibleFlagSet())
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

WindowStatusList TrafficLightOverlay::currentUnits() const
{
    return AppSettings::order(m_settings.perTab() ? m_store.tabs() : m_store.windows(),
                              m_settings.lightOrder());
}

QStringList TrafficLightOverlay::currentRowIDs() const
{
    QStringList ids;
    const WindowStatusList units = currentUnits();
    ids.reserve(units.size());
    for (const WindowStatus& unit : units)
        ids.append(unit.id);
    return ids;
}

void TrafficLightOverlay::syncWindowPanels()
{
    const WindowStatusList units = currentUnits();
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
    return makePanel(new CombinedLightView(m_store, s, o), housingSize(s, false, o),
                     OverlayGeometry::kCornerRadius * s, DefaultsKeys::combinedOrigin.key(), 0);
}

OverlayPanel* TrafficLightOverlay::makeWindowPanel(const QString& id, int defaultIndex)
{
    const double s = m_settings.scale();
    const OverlayOrientation o = m_settings.orientation();
    const bool labels = m_settings.showLabels();
    return makePanel(new WindowLightView(m_store, id, labels, s, o), housingSize(s, labels, o),
                     OverlayGeometry::kCornerRadius * s, DefaultsKeys::windowOriginPrefix.key() + id,
                     defaultIndex);
}

OverlayPanel* TrafficLightOverlay::makeRowPanel()
{
    const double s = m_settings.scale();
    const OverlayOrientation o = m_settings.orientation();
    const bool labels = m_settings.showLabels();
    auto* view = new DotStripView(m_store, labels, s, o, m_settings.perTab(), m_settings.lightOrder());
    m_rowWindowIDs = currentRowIDs();
    return makePanel(view, rowSize(s, static_cast<int>(m_rowWindowIDs.size()), labels, o),
                     OverlayGeometry::kCornerRadius * s, DefaultsKeys::rowOrigin.key(), 0);
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
