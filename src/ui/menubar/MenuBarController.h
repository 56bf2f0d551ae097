#pragma once

#include "status/AgentState.h"
#include "status/WindowStatus.h"

#include <QColor>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QKeyEvent;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace korvane {

class Alerts;
class AppSettings;
class LoginItem;
class StatusStore;
class UserDefaults;

// The tray icon (a dot in the colour of the overall state) and its menu, the
// application's only permanent user interface. The same menu is the floating
// light's context menu, which is the way in on desktops without a tray.
class MenuBarController : public QObject {
    Q_OBJECT

public:
    // What the menu does to the parts of the application it does not own.
    struct Actions {
        std::function<void()> toggleOverlay;
        std::function<void()> showSettings;
        std::function<bool()> installHooks;
        std::function<bool()> hooksInstalled;
        // The names of the agents whose hooks are installed, and what users must know of each.
        std::function<QStringList()> agents;
        std::function<QStringList()> hookNotes;
        std::function<void()> checkForUpdates;
    };

    struct SizePreset {
        QString label;
        double scale;
    };
    static const QList<SizePreset>& sizePresets();

    static constexpr int kDotDiameter = 13;
    static constexpr int kTrayAvailabilityPollMs = 1500;
    static constexpr int kHostQuestionTimeoutMs = 1000;

    MenuBarController(StatusStore& store, AppSettings& settings, UserDefaults& defaults, LoginItem& loginItem,
                      Alerts& alerts, Actions actions, QObject* parent = nullptr);
    ~MenuBarController() override;

    QMenu* menu() const { return m_menu.get(); }
    // Null until a tray host exists (on X11 and Wayland).
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // Whether the dot is in a tray now.
    bool trayShown() const { return m_tray && m_trayAvailable; }

    // Checkmarks, enabled flags, the hooks title and the summary line.
    void refreshDynamicItems();

    // The dot in a square pixmap of `size` logical pixels, and the tray icon
    // made of such pixmaps for the sizes tray hosts ask for.
    static QPixmap dotPixmap(const QColor& color, int size, qreal devicePixelRatio);
    static QIcon dotIcon(const QColor& color);

    // "3 windows • 1 working", "1 tab • 0 working", "No active windows".
    static QString summaryTitle(const WindowStatusList& rows, bool perTab);
    // The scale one size step away, in hundredths; AppSettings clamps it.
    static double steppedScale(double scale, double step);

    // The menu's commands.
    void toggleOverlay();
    void selectCombined();
    void selectPerWindow();
    void selectRow();
    void selectVertical();
    void selectHorizontal();
    void togglePerTab();
    void toggleNotify();
    void decreaseSize();
    void increaseSize();
    void selectPresetSize(const QAction* item);
    void openSettings();
    void toggleLaunchAtLogin();
    void checkForUpdates();
    void reinstallHooks();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void render(AgentState state);
    void pollTrayAvailability();
    void createTray();
    static bool statusNotifierHostNow();
    void askForStatusNotifierHost();
    void trayActivated(int reason);
    QAction* actionForKey(const QKeyEvent& event) const;

    StatusStore& m_store;
    AppSettings& m_settings;
    UserDefaults& m_defaults;
    LoginItem& m_loginItem;
    Alerts& m_alerts;
    Actions m_actions;

    std::unique_ptr<QMenu> m_menu;
    QList<QMenu*> m_menus; // the menu and its submenus
    QSystemTrayIcon* m_tray = nullptr;
    QTimer* m_trayPoll = nullptr;
    bool m_trayAvailable = false;
#ifdef KORVANE_HAVE_DBUS
    bool m_asking = false;
#endif

    QAction* m_statusItem = nullptr;
    QAction* m_windowsHeaderItem = nullptr;
    QAction* m_overlayItem = nullptr;
    QAction* m_combinedModeItem = nullptr;
    QAction* m_perWindowModeItem = nullptr;
    QAction* m_rowModeItem = nullptr;
    QAction* m_verticalItem = nullptr;
    QAction* m_horizontalItem = nullptr;
    QAction* m_perTabItem = nullptr;
    QAction* m_settingsItem = nullptr;
    QList<QAction*> m_sizePresetItems;
    QAction* m_notifyItem = nullptr;
    QAction* m_loginMenuItem = nullptr;
    QAction* m_hooksItem = nullptr;
    QAction* m_updatesItem = nullptr;
};

} // namespace korvane
