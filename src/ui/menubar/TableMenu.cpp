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
    // A run's lines go before the action that follows it, or at the end.
    std::vector<Run*> open;
    for (const MenuItem& item : items) {
        if (item.lines) {
            m_runs.push_back(std::make_unique<Run>(Run{&item, menu, nullptr, {}, {}}));
            open.push_back(m_runs.back().get());
            continue;
        }
        if (item.isSeparator()) {
            menu->addSeparator();
        } else if (!item.submenu.empty()) {
            fill(menu->addMenu(item.title), item.submenu);
        } else {
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
        for (Run* run : open)
            run->anchor = menu->actions().constLast();
        open.clear();
    }
}

void TableMenu::refreshRuns()
{
    for (const auto& run : m_runs) {
        run->lines = run->item->lines();
        while (run->actions.size() < qsizetype(run->lines.size())) {
            auto* action = new QAction(run->menu);
            run->menu->insertAction(run->anchor, action);
            connect(action, &QAction::triggered, this,
                    [this, r = run.get(), at = std::size_t(run->actions.size())] {
                        // A copy: what the line does may bring the run up to date.
                        const auto choose = at < r->lines.size() ? r->lines[at].action : nullptr;
                        if (choose)
                            choose();
                        refresh();
                    });
            run->actions.append(action);
        }
        for (qsizetype i = 0; i < run->actions.size(); ++i) {
            QAction* action = run->actions.at(i);
            const bool shown = i < qsizetype(run->lines.size());
            action->setVisible(shown);
            if (!shown)
                continue;
            const MenuItem& line = run->lines[std::size_t(i)];
            action->setText(line.title);
            if (action->icon().cacheKey() != line.icon.cacheKey())
                action->setIcon(line.icon);
            action->setEnabled(bool(line.action));
        }
    }
}

void TableMenu::refreshInformation()
{
    refreshRuns();
    for (const auto& [action, item] : m_bound) {
        if (item->liveTitle && !item->action)
            action->setText(item->liveTitle());
    }
}

void TableMenu::refresh()
{
    refreshRuns();
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
