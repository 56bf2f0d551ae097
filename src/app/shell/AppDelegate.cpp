#include "shell/AppDelegate.h"

#include "agents/AgentList.h"
#include "ask/AskServer.h"
#include "focus/TakeMeThere.h"
#include "hooks/HookInstaller.h"
#include "menubar/MenuBarController.h"
#include "notify/AttentionNotifier.h"
#include "notify/Notifier.h"
#include "overlay/TrafficLightOverlay.h"
#include "platform/Alerts.h"
#include "platform/LoginItem.h"
#include "platform/ProcessRunner.h"
#include "platform/ProcessTable.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "platform/WindowSystem.h"
#include "settings/AppSettings.h"
#include "settings/DefaultsKeys.h"
#include "settings/SettingsWindowController.h"
#include "shell/AppLog.h"
#include "status/StatusRules.h"
#include "update/Updater.h"

#ifdef KORVANE_HAVE_DBUS
#include "notify/DBusNotifier.h"
#endif

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <algorithm>
#include <unistd.h>

namespace korvane {

AppDelegate::AppDelegate(UserDefaults& defaults, AppSettings& settings, const Clock& clock,
                         AppServices services, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_store(clock), m_settings(settings),
      m_rows(m_store, m_settings), m_services(std::move(services))
{
    if (!m_services.alerts)
        m_services.alerts = &Alerts::standard();
    if (!m_services.loginItem)
        m_services.loginItem = &LoginItem::standard();
    if (!m_services.urlOpener)
        m_services.urlOpener = &UrlOpener::standard();
    if (!m_services.installHooks)
        m_services.installHooks = [this] {
            return HookInstaller::install(m_settings.answerPermissionPrompts());
        };
    if (m_services.updateSite.isEmpty())
        m_services.updateSite = Updater::productSite();
    if (!m_services.processes)
        m_services.processes = &SystemProcessRunner::instance();
    if (!m_services.windows)
        m_services.windows = &WindowSystem::standard();
    m_takeMeThere = std::make_unique<TakeMeThere>(*m_services.processes, *m_services.windows,
                                                  SystemProcessTable::instance());

    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
}

AppDelegate::~AppDelegate()
{
    m_attention.reset();
    m_menuBar.reset();
    m_updater.reset();
    m_settingsWindow.reset();
    m_overlay.reset();
}

TrafficLightOverlay& AppDelegate::overlay()
{
    if (!m_overlay)
        m_overlay = std::make_unique<TrafficLightOverlay>(m_rows, m_settings, m_defaults);
    return *m_overlay;
}

SettingsWindowController& AppDelegate::settingsWindow()
{
    if (!m_settingsWindow)
        m_settingsWindow = std::make_unique<SettingsWindowController>(m_settings, m_rows, agentNames());
    return *m_settingsWindow;
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched)
        return;
    m_launched = true;

    // An accessory: no task-bar entry and no main window, so closing the last
    // window (the settings, an alert) must not end the application.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // On every launch, before anything is shown; a failure is logged by the
    // installer and the menu offers to try again.
    m_services.installHooks();

    // From here on the store's published status is current.
    m_store.start();

    TrafficLightOverlay& lights = overlay();
    SettingsWindowController& settingsWindowController = settingsWindow();
    m_updater = std::make_unique<Updater>(*m_services.alerts, *m_services.urlOpener, m_services.updateSite);

    MenuBarController::Actions actions;
    actions.toggleOverlay = [&lights] { lights.toggle(); };
    actions.showSettings = [&settingsWindowController] { settingsWindowController.show(); };
    actions.installHooks = m_services.installHooks;
    actions.hooksInstalled = [this] {
        return HookInstaller::isInstalled(m_settings.answerPermissionPrompts());
    };
    actions.agents = [this] { return agents(m_settings.answerPermissionPrompts()); };
    actions.checkForUpdates = [updater = m_updater.get()] { updater->checkForUpdates(); };
    m_menuBar = std::make_unique<MenuBarController>(m_store, m_settings, *m_services.loginItem,
                                                    *m_services.alerts, std::move(actions));
    // Without a tray host a right click on a light is the way to the menu.
    lights.setContextMenu(m_menuBar->menu());
    connect(&lights, &TrafficLightOverlay::takeMeThereRequested, this, &AppDelegate::takeMeThere);
    connect(m_menuBar.get(), &MenuBarController::takeMeThereRequested, this, &AppDelegate::takeMeThere);
    startNotifications(lights);
    startAsking();
    connect(&m_settings, &AppSettings::answerPermissionPromptsChanged, this, [this](bool answer) {
        m_services.installHooks();
        if (answer)
            startAsking();
        else
            stopAsking();
    });

    using K = DefaultsKeys;
    if (!m_defaults.boolValue(K::hasLaunched.key()).value_or(K::hasLaunched.fallback)) {
        m_defaults.setBool(K::hasLaunched.key(), true);
        m_settings.setOverlayVisible(true);
        lights.rebuild();
        showWelcome();
    } else if (m_settings.overlayVisible()) {
        lights.rebuild();
    }

    qCDebug(lcApp) << "launched" << QCoreApplication::applicationVersion();
}

void AppDelegate::startNotifications(TrafficLightOverlay& lights)
{
    Notifier* notifier = m_services.notifier;
#ifdef KORVANE_HAVE_DBUS
    if (!notifier) {
        m_ownNotifier = std::make_unique<DBusNotifier>();
        notifier = m_ownNotifier.get();
    }
#endif
    if (!notifier)
        return;
    m_notifier = notifier;
    m_attention = std::make_unique<AttentionNotifier>(*notifier);
    AttentionNotifier* attention = m_attention.get();
    attention->setInFront([this](const QString& rowId) {
        // A prompt's own notification, with its choices, says it already.
        if (asksNotified(rowId))
            return true;
        const std::optional<StateRecord> record = m_store.recordFor(rowId);
        return record && m_takeMeThere->isInFront(*record);
    });
    attention->setEnabled(m_settings.notifyWhenAgentNeedsYou());
    // What is red now was red before Korvane could tell anyone.
    attention->setRows(m_rows.rows());
    connect(&m_rows, &LightRows::changed, attention, [this, attention, perTab = m_rows.perTab()]() mutable {
        if (m_rows.perTab() != perTab) {
            perTab = m_rows.perTab();
            attention->restart();
        }
        attention->setRows(m_rows.rows());
    });
    connect(&m_settings, &AppSettings::notifyWhenAgentNeedsYouChanged, attention,
            &AttentionNotifier::setEnabled);
    connect(attention, &AttentionNotifier::activated, this, [this, &lights](QString rowId) {
        if (rowId.startsWith(kAskPrefix))
            rowId = askConversation(rowId);
        // A record from a hook that told nothing of its place: the light at least.
        if (const std::optional<StateRecord> record = m_store.recordFor(rowId); record && record->where)
            takeMeThere(rowId);
        else if (!m_settings.overlayVisible())
            lights.toggle();
    });
}

void AppDelegate::takeMeThere(const QString& rowId)
{
    QString id = rowId;
    const WindowStatusList& rows = m_rows.rows();
    if (id.isEmpty()) {
        // The one that needs the user most, as the menu lists it first (a window whose tab
        // waits counts, though another tab's work colours it orange).
        const auto best = std::min_element(rows.begin(), rows.end(), &WindowStatus::callsFirst);
        if (best == rows.end())
            return;
        id = best->id;
    }
    const std::optional<StateRecord> record = m_store.recordFor(id);
    if (!record || !record->where)
        return;
    const TakeMeThere::Outcome outcome = m_takeMeThere->go(*record);
    qCInfo(lcApp) << "take me there" << id << outcome.reached << outcome.where;
    if (outcome.reached)
        return;
    const WindowStatus* row = m_rows.find(id);
    const QString name = row ? row->name : StatusRules::windowName(record->workspaceKey());
    const QString text = outcome.problem.isEmpty()
                             ? QStringLiteral("It runs in %1.").arg(outcome.where)
                             : QStringLiteral("%1 It ran in %2.").arg(outcome.problem, outcome.where);
    if (m_notifier && m_notifier->serviceRuns()) {
        m_notifier->show(QStringLiteral("take-me-there"), name, text);
        return;
    }
    Alerts::Request request;
    request.message = name;
    request.informativeText = text;
    m_services.alerts->run(request);
}

QList<HooksReport::Agent> AppDelegate::agents(bool answering)
{
    QList<HooksReport::Agent> rows;
    for (const Agent* agent : AgentList::all()) {
        const bool available = agent->available();
        rows.append({agent->displayName(), available,
                     available && HookInstaller::isInstalled(*agent, answering), agent->pickUp(),
                     agent->nextStep()});
    }
    return rows;
}

QStringList AppDelegate::agentNames()
{
    // Only whether each is here: the hooks' state needs every configuration read.
    QStringList names;
    for (const Agent* agent : AgentList::all())
        if (agent->available())
            names << agent->displayName();
    return names;
}

void AppDelegate::showWelcome()
{
    Alerts::Request request;
    request.message = QStringLiteral("Korvane is running!");
#ifdef Q_OS_MACOS
    const QString where = QStringLiteral("in your menu bar at the top of the screen");
    const QString from = QStringLiteral("from the menu bar icon");
#else
    const QString where = QStringLiteral("in the system tray of your panel");
    const QString from = QStringLiteral("from the tray icon or by right-clicking the light");
#endif
    request.informativeText =
        QStringLiteral("Look for the colored dot (\u25CF) %1.\n\n"
                       "Green = agent idle, Orange = working, Red = waiting for you.\n\n"
                       "A floating light has been turned on so you can see it right away \u2014 drag it "
                       "anywhere. You can move it, resize it, or change its style %2.")
            .arg(where, from);
    request.style = Alerts::Style::Informational;
    request.buttons = {QStringLiteral("Got it")};
    request.icon = QApplication::windowIcon();
    request.stayOnTop = true;
    m_services.alerts->run(request);
}

void AppDelegate::reopen()
{
    if (!m_launched)
        return;
    m_settings.setOverlayVisible(true);
    overlay().rebuild();
    if (!m_menuBar || !m_menuBar->trayShown())
        settingsWindow().show();
}

void AppDelegate::applicationWillTerminate()
{
    qCDebug(lcApp) << "quitting";
    m_store.stop();
    m_ask.reset(); // the waiting hooks return at once, with no answer
}

void AppDelegate::startAsking()
{
    if (m_services.askSocket.isEmpty() || m_ask || !m_settings.answerPermissionPrompts())
        return;
    m_ask = std::make_unique<AskServer>(m_services.askSocket, ::geteuid());
    if (!m_ask->listen()) {
        qCWarning(lcApp) << "cannot listen for permission prompts at" << m_services.askSocket;
        m_ask.reset();
        return;
    }
    m_menuBar->setRowChoices([this](const WindowStatus& row) { return askLines(row); });
    connect(m_ask.get(), &AskServer::pendingChanged, this, [this] {
        withdrawAnswered();
        notifyAsks();
        m_menuBar->refreshRows();
    });
    // Bound to the server: they go with it when the user turns answering off.
    if (m_notifier) {
        connect(m_notifier, &Notifier::chosen, m_ask.get(), [this](const QString& id, const QString& choice) {
            if (id.startsWith(kAskPrefix))
                m_ask->answer(id.mid(kAskPrefix.size()).toULongLong(), choice);
        });
    }
    connect(
        &m_store, &StatusStore::changed, m_ask.get(),
        [this] {
            withdrawAnswered();
            notifyAsks();
        },
        Qt::QueuedConnection);
}

// The waiting hooks return at once with no answer: the prompts stay where the agents run.
void AppDelegate::stopAsking()
{
    for (const quint64 id : std::exchange(m_askNotified, {}))
        m_notifier->close(kAskPrefix + QString::number(id));
    m_askSeenWaiting.clear();
    m_ask.reset();
    m_menuBar->setRowChoices({});
    m_menuBar->refreshRows();
}

// A prompt answered in the terminal shows as its conversation leaving
// `waiting`; the record says `waiting` from before the request came, so only a
// change after Korvane saw it waiting counts.
void AppDelegate::withdrawAnswered()
{
    QSet<quint64> seen;
    for (const AskServer::Pending& p : m_ask->pending()) {
        const std::optional<StateRecord> record = m_store.recordFor(p.request.conversation());
        if (record && record->state == QLatin1String("waiting"))
            seen.insert(p.id);
        else if (m_askSeenWaiting.contains(p.id))
            m_ask->withdraw(p.id);
    }
    m_askSeenWaiting = seen;
}

// A notification for each request while it waits, with the notifications the user
// turned on; its buttons answer that request alone.
void AppDelegate::notifyAsks()
{
    if (!m_notifier)
        return;
    QSet<quint64> waiting;
    for (const AskServer::Pending& p : m_ask->pending()) {
        waiting.insert(p.id);
        if (m_askNotified.contains(p.id) || !m_settings.notifyWhenAgentNeedsYou() ||
            !m_settings.answerFromNotifications())
            continue;
        // Once the store has the conversation's record, which names its agent.
        const std::optional<StateRecord> record = m_store.recordFor(p.request.conversation());
        if (!record)
            continue;
        const QString folder = QFileInfo(p.request.folder()).fileName();
        for (const WindowStatus& row : m_rows.rows()) {
            if (asksFor(p, row.id))
                m_notifier->close(row.id); // the row's own notification, which this one says better
        }
        m_notifier->showChoices(kAskPrefix + QString::number(p.id),
                                folder.isEmpty()
                                    ? p.request.tool()
                                    : folder + AgentList::nameSuffix(record->agent.value_or(QString())),
                                p.request.summary(), p.request.choices());
        m_askNotified.insert(p.id);
    }
    for (const quint64 id : m_askNotified - waiting)
        m_notifier->close(kAskPrefix + QString::number(id));
    m_askNotified &= waiting;
}

QString AppDelegate::askConversation(const QString& notificationId) const
{
    const quint64 id = notificationId.mid(kAskPrefix.size()).toULongLong();
    for (const AskServer::Pending& p : m_ask ? m_ask->pending() : QList<AskServer::Pending>()) {
        if (p.id == id)
            return p.request.conversation();
    }
    return {};
}

// A tab is its conversation; a window holds the conversations of its workspace.
bool AppDelegate::asksFor(const AskServer::Pending& p, const QString& rowId) const
{
    const std::optional<StateRecord> record = m_store.recordFor(p.request.conversation());
    return p.request.conversation() == rowId || (record && record->workspaceKey() == rowId);
}

bool AppDelegate::asksNotified(const QString& rowId) const
{
    if (!m_ask)
        return false;
    const QList<AskServer::Pending> pending = m_ask->pending();
    return std::any_of(pending.begin(), pending.end(), [&](const AskServer::Pending& p) {
        return m_askNotified.contains(p.id) && asksFor(p, rowId);
    });
}

MenuTable AppDelegate::askLines(const WindowStatus& row) const
{
    MenuTable lines;
    const QString indent = QStringLiteral("\u2003\u2003");
    for (const AskServer::Pending& p : m_ask->pending()) {
        if (!asksFor(p, row.id))
            continue;
        MenuItem what;
        what.title = indent + QFontMetrics(QFont())
                                  .elidedText(p.request.summary(), Qt::ElideMiddle, 480)
                                  .replace(QLatin1Char('&'), QStringLiteral("&&"));
        lines.push_back(std::move(what));
        for (const QString& choice : p.request.choices()) {
            MenuItem item;
            item.title = indent + QString(choice).replace(QLatin1Char('&'), QStringLiteral("&&"));
            item.action = [this, id = p.id, choice] { m_ask->answer(id, choice); };
            lines.push_back(std::move(item));
        }
    }
    return lines;
}

} // namespace korvane
