#pragma once

#include "menubar/MenuItem.h"

#include <QList>
#include <QObject>
#include <memory>

class QAction;
class QMenu;

namespace korvane {

// A QMenu made from a table of items. Checkmarks, enabled flags and live titles
// are brought up to date when the menu is about to show and after each command,
// as some tray hosts copy the menu without announcing that they show it.
class TableMenu : public QObject {
    Q_OBJECT

public:
    explicit TableMenu(MenuTable table, QObject* parent = nullptr);
    ~TableMenu() override;

    QMenu* menu() const { return m_menu.get(); }
    // The menu and its submenus.
    const QList<QMenu*>& menus() const { return m_menus; }
    void refresh();
    // The information lines only; the marks may cost a read of a file each.
    void refreshInformation();

private:
    struct Bound {
        QAction* action;
        const MenuItem* item;
    };
    // A run of lines: its actions stand before the anchor (at the end without
    // one), one per line shown, kept and hidden when the run gets shorter.
    struct Run {
        const MenuItem* item;
        QMenu* menu;
        QAction* anchor;
        QList<QAction*> actions;
        MenuTable lines;
    };
    void fill(QMenu* menu, const MenuTable& items);
    void refreshRuns();

    MenuTable m_table;
    std::unique_ptr<QMenu> m_menu;
    QList<QMenu*> m_menus;
    std::vector<Bound> m_bound;
    std::vector<std::unique_ptr<Run>> m_runs;
};

} // namespace korvane
