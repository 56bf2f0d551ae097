#include "menubar/MenuBarController.h"

#include "menubar/MenuItems.h"
#include "menubar/MenuShortcuts.h"
#include "menubar/TableMenu.h"
#include "menubar/TrayClickPoint.h"
#include "menubar/TrayDot.h"
#include "menubar/TrayHostProbe.h"
#include "settings/AppSettings.h"
#include "settings/LightRows.h"
#include "status/AgentStateColor.h"
#include "status/StatusStore.h"

#include <QEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

Q_LOGGING_CATEGORY(lcMenuBar, "korvane.menubar")

namespace korvane {

MenuBarController::MenuBarController(StatusStore& store, AppSettings& settings, LoginItem& loginItem,
                                     Alerts& alerts, Actions actions, QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings),
      m_commands(settings, loginItem, alerts, std::move(actions))
{
    m_menu = std::make_unique<TableMenu>(MenuItems::table(
        m_commands, [this] { return statusText(m_store.state()); },
        [this] { return MenuItems::summaryTitle(LightRows::of(m_store, m_settings), m_settings.perTab()); },
        [this] {
            return MenuItems::rowLines(
                LightRows::of(m_store, m_settings), m_store.clock().now(),
                [this](const QString& id) { Q_EMIT takeMeThereRequested(id); }, m_rowChoices);
        }));
    new MenuShortcuts(m_menu->menus(), this);
    // The rows' ages ("· 3 min") go on while the menu stays open; for ten minutes at most, as a
    // StatusNotifierItem host need not say that its menu closed.
    auto* ages = new QTimer(this);
    ages->setInterval(1000);
    connect(ages, &QTimer::timeout, this, [this, ages] {
        m_menu->refreshInformation();
        if (++m_ageTicks >= 600)
            ages->stop();
    });
    connect(m_menu->menu(), &QMenu::aboutToShow, ages, [this, ages] {
        m_ageTicks = 0;
        ages->start();
    });
    connect(m_menu->menu(), &QMenu::aboutToHide, ages, &QTimer::stop);
    // Light and dark have their own colours; every widget, the menu too, hears of a switch.
    m_menu->menu()->installEventFilter(this);
    connect(
        &m_store, &StatusStore::changed, this,
        [this, shown = std::pair(m_store.state(), needingYou())]() mutable {
            const auto now = std::pair(m_store.state(), needingYou());
            if (now == shown) {
                m_menu->refreshInformation(); // the rows changed, not the dot
                return;
            }
            shown = now;
            render(now.first, now.second);
        },
        Qt::QueuedConnection);

    connect(&m_settings, &AppSettings::perTabChanged, this,
            [this] { render(m_store.state(), needingYou()); });

    m_probe = new TrayHostProbe(this);
    connect(m_probe, &TrayHostProbe::hostAppeared, this, [this] {
        qCInfo(lcMenuBar) << "system tray appeared";
        createTray();
    });
    connect(m_probe, &TrayHostProbe::trayAvailabilityChanged, this,
            &MenuBarController::trayAvailabilityChanged);
    const bool host = TrayHostProbe::hostNow();
    if (host)
        createTray();
    m_probe->start(host);
    if (!trayShown())
        qCInfo(lcMenuBar) << "no system tray yet; the floating light's menu works meanwhile";
}

MenuBarController::~MenuBarController()
{
    if (m_tray)
        m_tray->setContextMenu(nullptr);
}

void MenuBarController::refreshRows()
{
    m_menu->refreshInformation();
}

QMenu* MenuBarController::menu() const
{
    return m_menu->menu();
}

bool MenuBarController::trayShown() const
{
    return m_tray && m_probe->trayAvailable();
}

void MenuBarController::createTray()
{
    m_tray = new QSystemTrayIcon(this);
    m_tray->setContextMenu(menu());
    render(m_store.state(), needingYou());
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { trayActivated(int(reason)); });
    m_tray->show();
}

void MenuBarController::trayAvailabilityChanged(bool available)
{
    qCInfo(lcMenuBar) << (available ? "system tray appeared" : "system tray went away");
    if (available) {
        m_tray->hide();
        m_tray->show();
    }
}

int MenuBarController::needingYou() const
{
    return LightRows::needingYou(LightRows::of(m_store, m_settings));
}

void MenuBarController::render(AgentState state, int needingYou)
{
    if (m_tray) {
        // A red dot shows already that someone waits.
        const bool red = needsYou(state);
        const QColor badge = needingYou > 0 && !red ? stateColor(AgentState::Waiting) : QColor();
        m_tray->setIcon(TrayDot::icon(stateColor(state), badge));
        m_tray->setToolTip(statusText(state) + MenuItems::needYouTitle(needingYou));
    }
    m_menu->refreshInformation();
}

bool MenuBarController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == menu() && event->type() == QEvent::ApplicationPaletteChange)
        render(m_store.state(), needingYou());
    return QObject::eventFilter(watched, event);
}

void MenuBarController::trayActivated(int reason)
{
#ifdef Q_OS_MACOS
    Q_UNUSED(reason);
#else
    // On Linux a left click only reports Trigger; users expect the menu there too.
    const QPoint at = TrayClickPoint::menuPosition();
    if (reason == QSystemTrayIcon::Trigger && !menu()->isVisible())
        menu()->popup(at);
#endif
}

} // namespace korvane
