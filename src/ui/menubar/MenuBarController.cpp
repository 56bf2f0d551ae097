#include "menubar/MenuBarController.h"

#include "menubar/TrayClickPoint.h"
#include "platform/Alerts.h"
#include "platform/LoginItem.h"
#include "platform/SystemLog.h"
#include "platform/UserDefaults.h"
#include "platform/X11Hints.h"
#include "settings/AppSettings.h"
#include "settings/DefaultsKeys.h"
#include "status/AgentStateColor.h"
#include "status/StatusStore.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#ifdef KORVANE_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#endif
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cmath>

Q_LOGGING_CATEGORY(lcMenuBar, "korvane.menubar")

namespace korvane {

namespace {

QAction* makeItem(QObject* parent, const QString& title, const char* shortcut = nullptr,
                  bool checkable = false)
{
    auto* item = new QAction(title, parent);
    if (shortcut)
        item->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
    item->setCheckable(checkable);
    return item;
}

int presetTag(double scale)
{
    return int(scale * 100); // the fraction is dropped
}

} // namespace

const QList<MenuBarController::SizePreset>& MenuBarController::sizePresets()
{
    static const QList<SizePreset> presets = {
        {QStringLiteral("Small"), 0.75},      {QStringLiteral("Medium"), 1.0}, {QStringLiteral("Large"), 1.5},
        {QStringLiteral("Extra Large"), 2.0}, {QStringLiteral("Huge"), 2.5},
    };
    return presets;
}

MenuBarController::MenuBarController(StatusStore& store, AppSettings& settings, UserDefaults& defaults,
                                     LoginItem& loginItem, Alerts& alerts, Actions actions, QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings), m_defaults(defaults), m_loginItem(loginItem),
      m_alerts(alerts), m_actions(std::move(actions)), m_menu(std::make_unique<QMenu>())
{
    m_statusItem = makeItem(this, QString());
    m_windowsHeaderItem = makeItem(this, QStringLiteral("Windows"));
    m_overlayItem = makeItem(this, QStringLiteral("Show Floating Light"), "Ctrl+L", true);
    m_combinedModeItem = makeItem(this, QStringLiteral("Combined"), nullptr, true);
    m_perWindowModeItem = makeItem(this, QStringLiteral("One per Cursor Window"), nullptr, true);
    m_rowModeItem = makeItem(this, QStringLiteral("Row of Dots"), nullptr, true);
    m_verticalItem = makeItem(this, QStringLiteral("Vertical"), nullptr, true);
    m_horizontalItem = makeItem(this, QStringLiteral("Horizontal"), nullptr, true);
    m_perTabItem = makeItem(this, QStringLiteral("One Light per Tab"), nullptr, true);
    m_notifyItem = makeItem(this, QStringLiteral("Notify When an Agent Needs You"), nullptr, true);
    m_settingsItem = makeItem(this, QStringLiteral("Settings\u2026"), "Ctrl+,");
    m_loginMenuItem = makeItem(this, QStringLiteral("Launch at Login"), nullptr, true);
    m_hooksItem = makeItem(this, QString());
    m_updatesItem = makeItem(this, QStringLiteral("Check for Updates\u2026"));

    connect(m_overlayItem, &QAction::triggered, this, &MenuBarController::toggleOverlay);
    connect(m_combinedModeItem, &QAction::triggered, this, &MenuBarController::selectCombined);
    connect(m_perWindowModeItem, &QAction::triggered, this, &MenuBarController::selectPerWindow);
    connect(m_rowModeItem, &QAction::triggered, this, &MenuBarController::selectRow);
    connect(m_verticalItem, &QAction::triggered, this, &MenuBarController::selectVertical);
    connect(m_horizontalItem, &QAction::triggered, this, &MenuBarController::selectHorizontal);
    connect(m_perTabItem, &QAction::triggered, this, &MenuBarController::togglePerTab);
    connect(m_notifyItem, &QAction::triggered, this, &MenuBarController::toggleNotify);
    connect(m_settingsItem, &QAction::triggered, this, &MenuBarController::openSettings);
    connect(m_loginMenuItem, &QAction::triggered, this, &MenuBarController::toggleLaunchAtLogin);
    connect(m_hooksItem, &QAction::triggered, this, &MenuBarController::reinstallHooks);
    connect(m_updatesItem, &QAction::triggered, this, &MenuBarController::checkForUpdates);

    buildMenu();
    render(m_store.state());
    // Some tray hosts show the menu without announcing it; start with the right titles.
    refreshDynamicItems();
    connect(&m_store, &StatusStore::stateChanged, this, &MenuBarController::render, Qt::QueuedConnection);

    // Qt chooses between a StatusNotifierItem and an XEmbed icon once per process, when the first
    // icon is made; made before any tray exists, it would never show on a StatusNotifierItem-only
    // host (waybar, Plasma on Wayland) that starts later. So on X11 the icon waits for a host.
    const QString platform = QGuiApplication::platformName();
    const bool waitForHost = platform == u"xcb" || platform.startsWith(u"wayland");
    if (!waitForHost || X11Hints::systemTrayOwned() || statusNotifierHostNow())
        createTray();
    else
        qCInfo(lcMenuBar) << "no system tray yet; the floating light's menu works meanwhile";
    // Qt announces no tray host that appears later (GNOME enabling its tray extension).
    m_trayPoll = new QTimer(this);
    m_trayPoll->setInterval(kTrayAvailabilityPollMs);
    connect(m_trayPoll, &QTimer::timeout, this, &MenuBarController::pollTrayAvailability);
    m_trayPoll->start();
}

void MenuBarController::createTray()
{
    m_tray = new QSystemTrayIcon(this);
    m_tray->setContextMenu(m_menu.get());
    render(m_store.state());
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { trayActivated(int(reason)); });
    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    if (!m_trayAvailable)
        qCInfo(lcMenuBar) << "no system tray yet; the floating light's menu works meanwhile";
    m_tray->show();
}

#ifdef KORVANE_HAVE_DBUS
namespace {

QDBusMessage hostQuestion()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher")
        << QStringLiteral("IsStatusNotifierHostRegistered");
    return get;
}

bool saysYes(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

} // namespace

bool MenuBarController::statusNotifierHostNow()
{
    // At start only, as Qt itself asks then; later the question goes out without waiting.
    return saysYes(QDBusConnection::sessionBus().call(hostQuestion(), QDBus::Block, kHostQuestionTimeoutMs));
}

void MenuBarController::askForStatusNotifierHost()
{
    if (m_asking)
        return;
    m_asking = true;
    auto* answer = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(hostQuestion(), kHostQuestionTimeoutMs), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        m_asking = false;
        if (!m_tray && saysYes(call->reply())) {
            qCInfo(lcMenuBar) << "system tray appeared";
            createTray();
        }
    });
}
#else
// Without QtDBus Qt makes XEmbed icons only.
bool MenuBarController::statusNotifierHostNow()
{
    return false;
}

void MenuBarController::askForStatusNotifierHost() {}
#endif

MenuBarController::~MenuBarController()
{
    if (m_tray)
        m_tray->setContextMenu(nullptr);
}

void MenuBarController::buildMenu()
{
    QMenu* menu = m_menu.get();
    m_statusItem->setEnabled(false);
    m_windowsHeaderItem->setEnabled(false);
    menu->addAction(m_statusItem);
    menu->addAction(m_windowsHeaderItem);
    menu->addSeparator();
    menu->addAction(m_overlayItem);

    QMenu* layout = menu->addMenu(QStringLiteral("Floating Light Layout"));
    layout->addAction(m_combinedModeItem);
    layout->addAction(m_perWindowModeItem);
    layout->addAction(m_rowModeItem);

    QMenu* orientation = menu->addMenu(QStringLiteral("Orientation"));
    orientation->addAction(m_verticalItem);
    orientation->addAction(m_horizontalItem);

    menu->addAction(m_perTabItem);

    QMenu* size = menu->addMenu(QStringLiteral("Light Size"));
    QAction* smaller = size->addAction(QStringLiteral("Smaller"));
    smaller->setShortcut(QKeySequence(QStringLiteral("Ctrl+-")));
    connect(smaller, &QAction::triggered, this, &MenuBarController::decreaseSize);
    QAction* larger = size->addAction(QStringLiteral("Larger"));
    larger->setShortcut(QKeySequence(QStringLiteral("Ctrl+=")));
    connect(larger, &QAction::triggered, this, &MenuBarController::increaseSize);
    size->addSeparator();
    for (const SizePreset& preset : sizePresets()) {
        const int tag = presetTag(preset.scale);
        QAction* item = size->addAction(QStringLiteral("%1 (%2%)").arg(preset.label).arg(tag));
        item->setCheckable(true);
        item->setData(tag);
        connect(item, &QAction::triggered, this, [this, item] { selectPresetSize(item); });
        m_sizePresetItems.append(item);
    }

    menu->addAction(m_notifyItem);
    menu->addAction(m_settingsItem);
    menu->addSeparator();
    menu->addAction(m_loginMenuItem);
    menu->addAction(m_hooksItem);
    menu->addAction(m_updatesItem);
    menu->addSeparator();
    QAction* quit = menu->addAction(QStringLiteral("Quit Korvane"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    connect(quit, &QAction::triggered, QCoreApplication::instance(), &QCoreApplication::quit);

    connect(menu, &QMenu::aboutToShow, this, &MenuBarController::refreshDynamicItems);
    m_menus = {menu, layout, orientation, size};
    for (QMenu* m : std::as_const(m_menus))
        m->installEventFilter(this);
}

QPixmap MenuBarController::dotPixmap(const QColor& color, int size, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);

    // A 13-pixel dot up to a 22-pixel slot, on whole pixels; larger pixmaps keep its share of
    // the slot, as StatusNotifierItem hosts scale whichever pixmap they pick to their size.
    const qreal diameter = kDotDiameter * std::max(size, 22) / 22.0;
    const qreal origin = std::floor((size - diameter) / 2.0);
    const QRectF dot(origin, origin, diameter, diameter);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(dot);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 0, 0, int(std::lround(0.35 * 255))), 1.0));
    painter.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
    return pixmap;
}

QIcon MenuBarController::dotIcon(const QColor& color)
{
    QList<qreal> ratios = {1.0, 2.0};
    if (const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const qreal dpr = app->devicePixelRatio();
        if (!ratios.contains(dpr))
            ratios.append(dpr);
    }
    QIcon icon;
    for (const qreal dpr : std::as_const(ratios)) {
        for (const int size : {16, 22, 24, 32})
            icon.addPixmap(dotPixmap(color, size, dpr));
    }
    return icon;
}

void MenuBarController::render(AgentState state)
{
    const QString text = statusText(state);
    if (m_tray) {
        m_tray->setIcon(dotIcon(stateColor(state)));
        m_tray->setToolTip(text);
    }
    m_statusItem->setText(text);
}

bool MenuBarController::eventFilter(QObject* watched, QEvent* event)
{
    // Qt routes the shortcuts of a menu's items only when the menu hangs in a menu bar or a
    // window; a tray or context menu has neither, so its items' keys are matched here.
    if (event->type() == QEvent::KeyPress && m_menus.contains(watched)) {
        if (QAction* action = actionForKey(*static_cast<QKeyEvent*>(event))) {
            for (QMenu* m : std::as_const(m_menus))
                m->hide();
            action->trigger();
            return true;
        }
        return false;
    }
    // Light and dark have their own colours; every widget, the menu too, hears of a switch.
    if (watched == m_menu.get() && event->type() == QEvent::ApplicationPaletteChange)
        render(m_store.state());
    return QObject::eventFilter(watched, event);
}

QAction* MenuBarController::actionForKey(const QKeyEvent& event) const
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (!(modifiers & Qt::ControlModifier))
        return nullptr;
    QList<QKeySequence> candidates = {QKeySequence(QKeyCombination(modifiers, Qt::Key(event.key())))};
    // "=" and "-" need Shift on some layouts; the item is still meant.
    const bool letter = event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z;
    if ((modifiers & Qt::ShiftModifier) && !letter)
        candidates.append(
            QKeySequence(QKeyCombination(modifiers & ~Qt::ShiftModifier, Qt::Key(event.key()))));
    for (const QKeySequence& wanted : std::as_const(candidates)) {
        for (const QMenu* m : m_menus) {
            for (QAction* action : m->actions()) {
                if (!action->shortcut().isEmpty() && action->shortcut() == wanted && action->isEnabled())
                    return action;
            }
        }
    }
    return nullptr;
}

void MenuBarController::pollTrayAvailability()
{
    if (!m_tray) {
        if (X11Hints::systemTrayOwned()) {
            qCInfo(lcMenuBar) << "system tray appeared";
            createTray();
        } else {
            askForStatusNotifierHost();
        }
        return;
    }
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available == m_trayAvailable)
        return;
    m_trayAvailable = available;
    qCInfo(lcMenuBar) << (available ? "system tray appeared" : "system tray went away");
    if (available) {
        m_tray->hide();
        m_tray->show();
    }
}

void MenuBarController::trayActivated(int reason)
{
#ifdef Q_OS_MACOS
    Q_UNUSED(reason);
#else
    // On Linux a left click only reports Trigger; users expect the menu there too.
    const std::optional<QPoint> hostClick = TrayClickPoint::take();
    if (reason == QSystemTrayIcon::Trigger && !m_menu->isVisible())
        m_menu->popup(hostClick.value_or(QCursor::pos()));
#endif
}

QString MenuBarController::summaryTitle(const WindowStatusList& rows, bool perTab)
{
    const QString noun = perTab ? QStringLiteral("tab") : QStringLiteral("window");
    if (rows.isEmpty())
        return QStringLiteral("No active %1s").arg(noun);
    const auto working = std::count_if(
        rows.begin(), rows.end(), [](const WindowStatus& row) { return row.state == AgentState::Working; });
    return QStringLiteral("%1 %2%3 \u2022 %4 working")
        .arg(rows.size())
        .arg(noun, rows.size() == 1 ? QString() : QStringLiteral("s"))
        .arg(working);
}

double MenuBarController::steppedScale(double scale, double step)
{
    return std::round((scale + step) * 100.0) / 100.0;
}

void MenuBarController::refreshDynamicItems()
{
    m_overlayItem->setChecked(m_defaults.boolValue(DefaultsKeys::overlayWasVisible.key())
                                  .value_or(DefaultsKeys::overlayWasVisible.fallback));

    const OverlayMode mode = m_settings.overlayMode();
    m_combinedModeItem->setChecked(mode == OverlayMode::Combined);
    m_perWindowModeItem->setChecked(mode == OverlayMode::PerWindow);
    m_rowModeItem->setChecked(mode == OverlayMode::Row);

    m_verticalItem->setChecked(m_settings.orientation() == OverlayOrientation::Vertical);
    m_horizontalItem->setChecked(m_settings.orientation() == OverlayOrientation::Horizontal);

    m_perTabItem->setChecked(m_settings.perTab());
    m_perTabItem->setEnabled(mode != OverlayMode::Combined);

    const long scaleTag = std::lround(m_settings.scale() * 100.0);
    for (QAction* item : std::as_const(m_sizePresetItems))
        item->setChecked(item->data().toInt() == scaleTag);

    m_notifyItem->setChecked(m_settings.notifyWhenAgentNeedsYou());

    m_loginMenuItem->setChecked(m_loginItem.status() == LoginItem::Status::Enabled);

    const bool installed = m_actions.hooksInstalled && m_actions.hooksInstalled();
    m_hooksItem->setText(installed ? QStringLiteral("Reinstall Hooks") : QStringLiteral("Install Hooks"));

    const bool perTab = m_settings.perTab();
    m_windowsHeaderItem->setText(summaryTitle(perTab ? m_store.tabs() : m_store.windows(), perTab));
}

void MenuBarController::toggleOverlay()
{
    if (m_actions.toggleOverlay)
        m_actions.toggleOverlay();
    refreshDynamicItems();
}

void MenuBarController::selectCombined()
{
    m_settings.setOverlayMode(OverlayMode::Combined);
    refreshDynamicItems();
}

void MenuBarController::selectPerWindow()
{
    m_settings.setOverlayMode(OverlayMode::PerWindow);
    refreshDynamicItems();
}

void MenuBarController::selectRow()
{
    m_settings.setOverlayMode(OverlayMode::Row);
    refreshDynamicItems();
}

void MenuBarController::selectVertical()
{
    m_settings.setOrientation(OverlayOrientation::Vertical);
    refreshDynamicItems();
}

void MenuBarController::selectHorizontal()
{
    m_settings.setOrientation(OverlayOrientation::Horizontal);
    refreshDynamicItems();
}

void MenuBarController::togglePerTab()
{
    m_settings.setPerTab(!m_settings.perTab());
    refreshDynamicItems();
}

void MenuBarController::toggleNotify()
{
    m_settings.setNotifyWhenAgentNeedsYou(!m_settings.notifyWhenAgentNeedsYou());
    refreshDynamicItems();
}

void MenuBarController::decreaseSize()
{
    m_settings.setScale(steppedScale(m_settings.scale(), -0.25));
    refreshDynamicItems();
}

void MenuBarController::increaseSize()
{
    m_settings.setScale(steppedScale(m_settings.scale(), 0.25));
    refreshDynamicItems();
}

void MenuBarController::selectPresetSize(const QAction* item)
{
    m_settings.setScale(item->data().toInt() / 100.0);
    refreshDynamicItems();
}

void MenuBarController::openSettings()
{
    if (m_actions.showSettings)
        m_actions.showSettings();
}

void MenuBarController::toggleLaunchAtLogin()
{
    QString error;
    const bool enabled = m_loginItem.status() == LoginItem::Status::Enabled;
    const bool ok = enabled ? m_loginItem.unregisterItem(&error) : m_loginItem.registerItem(&error);
    if (!ok)
        SystemLog::instance().write(QStringLiteral("Korvane: launch-at-login toggle failed: ") + error);
    refreshDynamicItems();
}

void MenuBarController::checkForUpdates()
{
    if (m_actions.checkForUpdates)
        m_actions.checkForUpdates();
}

void MenuBarController::reinstallHooks()
{
    const bool ok = m_actions.installHooks && m_actions.installHooks();
    const QStringList agents = m_actions.agents ? m_actions.agents() : QStringList();
    const QStringList notes = m_actions.hookNotes ? m_actions.hookNotes() : QStringList();
    const auto listed = [](const QStringList& names) {
        return names.size() <= 1 ? names.value(0)
                                 : names.mid(0, names.size() - 1).join(QStringLiteral(", ")) +
                                       QStringLiteral(" and ") + names.last();
    };

    Alerts::Request request;
    if (ok) {
        request.style = Alerts::Style::Informational;
        request.message = QStringLiteral("Hooks installed for ") + listed(agents);
        request.informativeText =
            (QStringList{QStringLiteral("The status light updates as the agent works.")} + notes).join(u' ');
    } else {
        request.style = Alerts::Style::Warning;
        request.message = QStringLiteral("Could not install hooks");
        request.informativeText =
            QStringLiteral("Writing to the hooks config failed. Check Console for details.");
    }
    m_alerts.run(request);
    refreshDynamicItems();
}

} // namespace korvane
