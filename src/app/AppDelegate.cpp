#include "app/AppDelegate.h"

#include "app/AppLog.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace korvane {

AppDelegate::AppDelegate(UserDefaults& defaults, AppSettings& settings, const Clock& clock, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_store(clock), m_settings(settings)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched)
        return;
    m_launched = true;

    // 1. An accessory: no task-bar entry and no main window, so closing the last
    //    window (the settings, an alert) must not end the application.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // 2. Launch wiring: install the hooks here, on every launch, before anything
    //    is shown; the result is not looked at.

    // 3. From here on the store's published status is current.
    m_store.start();

    // 4. Launch wiring: create the menu bar controller (creating the overlay,
    //    then the settings-window controller), then the first-launch branch or
    //    the restore of the floating light.

    qCDebug(lcApp) << "launched" << QCoreApplication::applicationVersion();
}

void AppDelegate::applicationWillTerminate()
{
    qCDebug(lcApp) << "quitting";
    m_store.stop();
}

} // namespace korvane
