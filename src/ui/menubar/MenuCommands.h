#pragma once

#include "menubar/HooksReport.h"
#include "settings/OverlayMode.h"
#include "settings/OverlayOrientation.h"

#include <QList>
#include <functional>

namespace korvane {

class Alerts;
class AppSettings;
class LoginItem;

// What the menu's items do, and the state their checkmarks show.
class MenuCommands {
public:
    // What the menu does to the parts of the application it does not own.
    struct Actions {
        std::function<void()> toggleOverlay;
        std::function<void()> showSettings;
        std::function<bool()> installHooks;
        std::function<bool()> hooksInstalled;
        // The agents served here, read after each install for its report.
        std::function<QList<HooksReport::Agent>()> agents;
        std::function<void()> checkForUpdates;
    };

    MenuCommands(AppSettings& settings, LoginItem& loginItem, Alerts& alerts, Actions actions);

    const AppSettings& settings() const { return m_settings; }
    bool overlayShown() const;
    bool launchAtLogin() const;
    bool hooksInstalled() const;

    // The scale one size step away, in hundredths; AppSettings clamps it.
    static double steppedScale(double scale, double step);

    void toggleOverlay();
    void selectMode(OverlayMode mode);
    void selectOrientation(OverlayOrientation orientation);
    void togglePerTab();
    void toggleNotify();
    void toggleAnswerPermissionPrompts();
    void toggleAnswerFromNotifications();
    void decreaseSize();
    void increaseSize();
    void selectScale(double scale);
    void openSettings();
    void toggleLaunchAtLogin();
    void checkForUpdates();
    void reinstallHooks();

private:
    AppSettings& m_settings;
    LoginItem& m_loginItem;
    Alerts& m_alerts;
    Actions m_actions;
};

} // namespace korvane
