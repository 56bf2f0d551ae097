#pragma once

#include "ask/AskServer.h"
#include "menubar/HooksReport.h"
#include "menubar/MenuItem.h"
#include "platform/Clock.h"
#include "settings/LightRows.h"
#include "status/StatusStore.h"

#include <QObject>
#include <QSet>
#include <QUrl>
#include <functional>
#include <memory>

namespace korvane {

class Alerts;
class AppSettings;
class LoginItem;
class MenuBarController;
class AttentionNotifier;
class Notifier;
class ProcessRunner;
class TakeMeThere;
class WindowSystem;
class SettingsWindowController;
class TrafficLightOverlay;
class Updater;
class UrlOpener;
class UserDefaults;

// The operating-system touch points of the launch; empty members take the real ones.
struct AppServices {
    Alerts* alerts = nullptr;
    LoginItem* loginItem = nullptr;
    UrlOpener* urlOpener = nullptr;
    std::function<bool()> installHooks;
    // The desktop notification service (null: the session bus's, where there is one).
    Notifier* notifier = nullptr;
    // Where the agents run: helper programs and /proc, and the X11 display.
    ProcessRunner* processes = nullptr;
    WindowSystem* windows = nullptr;
    QUrl updateSite;
    // Where the hook's helper asks for answers to permission prompts ("": nowhere).
    QString askSocket;
};

// Owns the long-lived objects of the application for the life of the process
// and runs the launch and quit sequences. The program creates one with
// UserDefaults::standard() and AppSettings::shared(); tests hand in their own.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Creates the status store (which creates the state directory but reads
    // nothing yet) and takes the settings. Connects to the application's
    // aboutToQuit when an application object exists.
    AppDelegate(UserDefaults& defaults, AppSettings& settings, const Clock& clock = SystemClock::instance(),
                AppServices services = {}, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Brings forward where the agent of that row runs ("" for the one that needs
    // the user most), or says where it is when that cannot be done.
    void takeMeThere(const QString& rowId);

    // Created on first use.
    TrafficLightOverlay& overlay();
    SettingsWindowController& settingsWindow();

    // Once, when the event loop runs. Later calls do nothing. On the first
    // launch it returns when the welcome alert has been dismissed.
    void applicationDidFinishLaunching();
    // A later launch asked: the floating light comes on, and without a tray
    // the settings window opens too, so that there is always a way back in.
    void reopen();
    // At quit (aboutToQuit). Preferences need no saving: they are stored as they change.
    void applicationWillTerminate();

private:
    // The agents Korvane serves, and the names of those found on this machine.
    static QList<HooksReport::Agent> agents(bool answering);
    static QStringList agentNames();
    void showWelcome();
    void startNotifications(TrafficLightOverlay& lights);
    void startAsking();
    void stopAsking();
    void withdrawAnswered();
    void notifyAsks();
    QString askConversation(const QString& notificationId) const;
    bool asksFor(const AskServer::Pending& p, const QString& rowId) const;
    bool asksNotified(const QString& rowId) const;
    MenuTable askLines(const WindowStatus& row) const;

    UserDefaults& m_defaults;
    StatusStore m_store;
    AppSettings& m_settings;
    LightRows m_rows;
    AppServices m_services;
    bool m_launched = false;
    // Declared in dependency order: the tray menu, which refers to the others, goes first.
    std::unique_ptr<TrafficLightOverlay> m_overlay;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<MenuBarController> m_menuBar;
    std::unique_ptr<Notifier> m_ownNotifier;
    std::unique_ptr<AttentionNotifier> m_attention;
    std::unique_ptr<TakeMeThere> m_takeMeThere;
    std::unique_ptr<AskServer> m_ask;
    QSet<quint64> m_askSeenWaiting;
    QSet<quint64> m_askNotified;
    static inline const QString kAskPrefix = QStringLiteral("ask:");
    Notifier* m_notifier = nullptr;
};

} // namespace korvane
