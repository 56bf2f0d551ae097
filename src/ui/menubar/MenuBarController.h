#pragma once

#include "menubar/MenuCommands.h"
#include "menubar/MenuItem.h"
#include "status/AgentState.h"
#include "status/WindowStatus.h"

#include <QObject>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace korvane {

class AppSettings;
class StatusStore;
class TableMenu;
class TrayHostProbe;

// The tray icon (a dot in the colour of the overall state) and its menu, the
// application's only permanent user interface. The same menu is the floating
// light's context menu, which is the way in on desktops without a tray.
class MenuBarController : public QObject {
    Q_OBJECT

public:
    using Actions = MenuCommands::Actions;

    MenuBarController(StatusStore& store, AppSettings& settings, LoginItem& loginItem, Alerts& alerts,
                      Actions actions, QObject* parent = nullptr);
    ~MenuBarController() override;

    QMenu* menu() const;
    // Null until a tray host exists (on X11 and Wayland).
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // Whether the dot is in a tray now.
    bool trayShown() const;

    // The lines under a row (a prompt's choices), read whenever the rows are.
    void setRowChoices(std::function<MenuTable(const WindowStatus&)> choices)
    {
        m_rowChoices = std::move(choices);
    }
    void refreshRows();

Q_SIGNALS:
    // The user chose a row of the menu (the id of a LightRows row).
    void takeMeThereRequested(const QString& rowId);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The dot, its badge and the tooltip for the overall state and how many rows need the user.
    void render(AgentState state, int needingYou);
    int needingYou() const;
    void createTray();
    void trayAvailabilityChanged(bool available);
    void trayActivated(int reason);

    StatusStore& m_store;
    AppSettings& m_settings;
    MenuCommands m_commands;
    std::unique_ptr<TableMenu> m_menu;
    TrayHostProbe* m_probe;
    QSystemTrayIcon* m_tray = nullptr;
    std::function<MenuTable(const WindowStatus&)> m_rowChoices;
    int m_ageTicks = 0; // refreshes since the menu last opened
};

} // namespace korvane
