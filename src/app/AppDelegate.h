#pragma once

#include "platform/Clock.h"
#include "status/StatusStore.h"

#include <QObject>

namespace korvane {

class AppSettings;
class UserDefaults;

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
                QObject* parent = nullptr);
    ~AppDelegate() override;

    StatusStore& store() { return m_store; }
    AppSettings& settings() { return m_settings; }
    UserDefaults& defaults() { return m_defaults; }
    bool hasFinishedLaunching() const { return m_launched; }

    // Once, when the event loop runs. Later calls do nothing.
    void applicationDidFinishLaunching();
    // At quit (aboutToQuit). Preferences need no saving: they are stored as they change.
    void applicationWillTerminate();

private:
    UserDefaults& m_defaults;
    StatusStore m_store;
    AppSettings& m_settings;
    bool m_launched = false;
    // Launch wiring: the overlay, the settings-window controller (both created
    // on first use) and the menu bar controller (set at launch) go here.
};

} // namespace korvane
