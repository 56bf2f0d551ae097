#include "menubar/TableMenu.h"

#include <QAction>
#include <QMenu>

namespace korvane {

TableMenu::TableMenu(MenuTable table, QObject* parent)
    : QObject(parent), m_table(std::move(table)), m_menu(std::make_unique<QMenu>())
{
    fill(m_menu.get(), m_table);
    connect(m_menu.get(), &QMenu::aboutToShow, this, &TableMenu::refresh);
    refresh();
}

TableMenu::~TableMenu() = default;

void TableMenu::fill(QMenu* menu, const MenuTable& items)
{
    m_menus.append(menu);
    for (const MenuItem& item : items) {
        if (item.isSeparator()) {
            menu->addSeparator();
            continue;
        }
        if (!item.submenu.empty()) {
            fill(menu->addMenu(item.title), item.submenu);
            continue;
        }
        QAction* action = menu->addAction(item.title);
        if (!item.shortcut.isEmpty())
            action->setShortcut(QKeySequence(item.shortcut));
        action->setCheckable(bool(item.checked));
        action->setEnabled(bool(item.action));
        if (item.action) {
            connect(action, &QAction::triggered, this, [this, run = item.action] {
                run();
                refresh();
            });
        }
        m_bound.push_back({action, &item});
    }
}

void TableMenu::refreshInformation()
{
    for (const auto& [action, item] : m_bound) {
        if (item->liveTitle && !item->action)
            action->setText(item->liveTitle());
    }
}

void TableMenu::refresh()
{
    for (const auto& [action, item] : m_bound) {
        if (item->liveTitle)
            action->setText(item->liveTitle());
        if (item->checked)
            action->setChecked(item->checked());
        if (item->action && item->enabled)
            action->setEnabled(item->enabled());
    }
}

} // namespace korvane
