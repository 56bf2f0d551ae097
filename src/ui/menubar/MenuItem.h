#pragma once

#include <QIcon>
#include <QString>
#include <functional>
#include <vector>

namespace korvane {

// One line of a menu as data. A line with a submenu opens it; one without an
// action is information only (shown disabled); an empty title with nothing
// else is a separator.
struct MenuItem {
    QString title;
    // When set, the title is read afresh each time the menu is brought up to date.
    std::function<QString()> liveTitle;
    QString shortcut;
    // When set, the item carries a checkmark that follows it.
    std::function<bool()> checked;
    // When unset, a command is always enabled.
    std::function<bool()> enabled;
    std::function<void()> action;
    std::vector<MenuItem> submenu;
    QIcon icon;
    // When set, the item stands for a run of lines (none to many) read afresh
    // with the titles; their own lines are neither submenus nor runs.
    std::function<std::vector<MenuItem>()> lines;

    static MenuItem separator() { return {}; }
    bool isSeparator() const { return title.isEmpty() && !liveTitle && submenu.empty() && !lines; }
};

using MenuTable = std::vector<MenuItem>;

} // namespace korvane
