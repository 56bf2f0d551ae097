#include "menubar/MenuItems.h"

#include "agents/AgentList.h"
#include "menubar/MenuCommands.h"
#include "menubar/TrayDot.h"
#include "settings/AppSettings.h"
#include "settings/LightRows.h"
#include "status/AgentStateColor.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

int presetTag(double scale)
{
    return int(scale * 100); // the fraction is dropped
}

MenuItem info(std::function<QString()> title)
{
    MenuItem item;
    item.liveTitle = std::move(title);
    return item;
}

MenuItem command(QString title, std::function<void()> action, QString shortcut = {})
{
    MenuItem item;
    item.title = std::move(title);
    item.action = std::move(action);
    item.shortcut = std::move(shortcut);
    return item;
}

MenuItem toggle(QString title, std::function<void()> action, std::function<bool()> checked)
{
    MenuItem item = command(std::move(title), std::move(action));
    item.checked = std::move(checked);
    return item;
}

MenuItem submenu(QString title, MenuTable items)
{
    MenuItem item;
    item.title = std::move(title);
    item.submenu = std::move(items);
    return item;
}

} // namespace

const QList<MenuItems::SizePreset>& MenuItems::sizePresets()
{
    static const QList<SizePreset> presets = {
        {QStringLiteral("Small"), 0.75},      {QStringLiteral("Medium"), 1.0}, {QStringLiteral("Large"), 1.5},
        {QStringLiteral("Extra Large"), 2.0}, {QStringLiteral("Huge"), 2.5},
    };
    return presets;
}

QString MenuItems::layoutTitle(OverlayMode mode)
{
    switch (mode) {
    case OverlayMode::Combined:
        return QStringLiteral("Combined");
    case OverlayMode::PerWindow:
        return QStringLiteral("One per Window");
    case OverlayMode::Row:
        return QStringLiteral("Row of Dots");
    }
    return {};
}

QString MenuItems::summaryTitle(const WindowStatusList& rows, bool perTab)
{
    const QString noun = perTab ? QStringLiteral("tab") : QStringLiteral("window");
    if (rows.isEmpty())
        return QStringLiteral("No active %1s").arg(noun);
    const auto working = std::count_if(
        rows.begin(), rows.end(), [](const WindowStatus& row) { return row.state == AgentState::Working; });
    return QStringLiteral("%1 %2%3 \u2022 %4 working%5")
        .arg(rows.size())
        .arg(noun, rows.size() == 1 ? QString() : QStringLiteral("s"))
        .arg(working)
        .arg(needYouTitle(LightRows::needingYou(rows)));
}

QString MenuItems::needYouTitle(int count)
{
    if (count <= 0)
        return {};
    return QStringLiteral(" \u2022 %1 %2 you").arg(count).arg(count == 1 ? u"needs" : u"need");
}

QString MenuItems::rowTitle(const WindowStatus& row, double now)
{
    QString how;
    switch (row.state) {
    case AgentState::Working:
        how = QStringLiteral("Working");
        break;
    case AgentState::Waiting:
        how = QStringLiteral("Waiting for your answer");
        break;
    case AgentState::Idle:
        how = QStringLiteral("Done");
        break;
    case AgentState::Error:
        how = QStringLiteral("Failed");
        break;
    case AgentState::Unknown:
        how = QStringLiteral("No status");
        break;
    }
    // Whole units, rounded down; a clock set back reads as now.
    const auto age = qint64(std::max(0.0, now - row.lastActivity));
    const QString since = age < 60     ? QStringLiteral("%1 s").arg(age)
                          : age < 3600 ? QStringLiteral("%1 min").arg(age / 60)
                                       : QStringLiteral("%1 h").arg(age / 3600);
    return QStringLiteral("%1%2 \u2014 %3 \u00b7 %4")
        .arg(row.name, AgentList::nameSuffix(row.agent), how, since);
}

MenuTable MenuItems::rowLines(WindowStatusList rows, double now, const std::function<void(QString)>& choose,
                              const std::function<MenuTable(const WindowStatus&)>& under)
{
    std::stable_sort(rows.begin(), rows.end(), &WindowStatus::callsFirst);
    MenuTable lines;
    for (const WindowStatus& row : rows.first(std::min<qsizetype>(rows.size(), kMaxRowLines))) {
        MenuItem line = command(rowTitle(row, now), [choose, id = row.id] { choose(id); });
        const bool red = needsYou(row.state);
        line.icon = TrayDot::icon(stateColor(row.state),
                                  row.needsYou && !red ? stateColor(AgentState::Waiting) : QColor());
        lines.push_back(std::move(line));
        if (under) {
            for (MenuItem& extra : under(row))
                lines.push_back(std::move(extra));
        }
    }
    if (rows.size() > kMaxRowLines) {
        MenuItem more;
        more.title = QStringLiteral("and %1 more").arg(rows.size() - kMaxRowLines);
        lines.push_back(std::move(more));
    }
    return lines;
}

MenuItem MenuItems::layoutMenu(MenuCommands& c)
{
    const AppSettings& settings = c.settings();
    MenuTable items;
    for (const OverlayMode mode : kAllOverlayModes)
        items.push_back(toggle(
            layoutTitle(mode), [&c, mode] { c.selectMode(mode); },
            [&settings, mode] { return settings.overlayMode() == mode; }));
    return submenu(QStringLiteral("Floating Light Layout"), std::move(items));
}

MenuItem MenuItems::orientationMenu(MenuCommands& c)
{
    const AppSettings& settings = c.settings();
    MenuTable items;
    for (const auto& [o, title] : {std::pair{OverlayOrientation::Vertical, "Vertical"},
                                   std::pair{OverlayOrientation::Horizontal, "Horizontal"}})
        items.push_back(toggle(
            QString::fromLatin1(title), [&c, o] { c.selectOrientation(o); },
            [&settings, o] { return settings.orientation() == o; }));
    return submenu(QStringLiteral("Orientation"), std::move(items));
}

MenuItem MenuItems::sizeMenu(MenuCommands& c)
{
    const AppSettings& settings = c.settings();
    MenuTable items;
    items.push_back(command(
        QStringLiteral("Smaller"), [&c] { c.decreaseSize(); }, QStringLiteral("Ctrl+-")));
    items.push_back(command(
        QStringLiteral("Larger"), [&c] { c.increaseSize(); }, QStringLiteral("Ctrl+=")));
    items.push_back(MenuItem::separator());
    for (const SizePreset& preset : sizePresets()) {
        const int tag = presetTag(preset.scale);
        items.push_back(toggle(
            QStringLiteral("%1 (%2%)").arg(preset.label).arg(tag), [&c, tag] { c.selectScale(tag / 100.0); },
            [&settings, tag] { return std::lround(settings.scale() * 100.0) == tag; }));
    }
    return submenu(QStringLiteral("Light Size"), std::move(items));
}

MenuTable MenuItems::table(MenuCommands& c, std::function<QString()> statusLine,
                           std::function<QString()> summaryLine, std::function<MenuTable()> rows)
{
    const AppSettings& settings = c.settings();
    MenuItem perTab = toggle(
        QStringLiteral("One Light per Tab"), [&c] { c.togglePerTab(); },
        [&settings] { return settings.perTab(); });
    perTab.enabled = [&settings] { return settings.overlayMode() != OverlayMode::Combined; };
    MenuItem overlay = toggle(
        QStringLiteral("Show Floating Light"), [&c] { c.toggleOverlay(); },
        [&c] { return c.overlayShown(); });
    overlay.shortcut = QStringLiteral("Ctrl+L");
    MenuItem fromNotifications = toggle(
        QStringLiteral("Answer Permission Prompts from Notifications"),
        [&c] { c.toggleAnswerFromNotifications(); },
        [&settings] { return settings.answerFromNotifications(); });
    fromNotifications.enabled = [&settings] { return settings.answerPermissionPrompts(); };
    MenuItem hooks = command({}, [&c] { c.reinstallHooks(); });
    hooks.liveTitle = [&c] {
        return c.hooksInstalled() ? QStringLiteral("Reinstall Hooks") : QStringLiteral("Install Hooks");
    };

    MenuTable table = {
        info(std::move(statusLine)),
        info(std::move(summaryLine)),
        std::move(overlay),
        layoutMenu(c),
        orientationMenu(c),
        std::move(perTab),
        sizeMenu(c),
        toggle(
            QStringLiteral("Notify When an Agent Needs You"), [&c] { c.toggleNotify(); },
            [&settings] { return settings.notifyWhenAgentNeedsYou(); }),
        toggle(
            QStringLiteral("Answer Permission Prompts"), [&c] { c.toggleAnswerPermissionPrompts(); },
            [&settings] { return settings.answerPermissionPrompts(); }),
        std::move(fromNotifications),
        command(
            QStringLiteral("Settings\u2026"), [&c] { c.openSettings(); }, QStringLiteral("Ctrl+,")),
        MenuItem::separator(),
        toggle(
            QStringLiteral("Launch at Login"), [&c] { c.toggleLaunchAtLogin(); },
            [&c] { return c.launchAtLogin(); }),
        std::move(hooks),
        command(QStringLiteral("Check for Updates\u2026"), [&c] { c.checkForUpdates(); }),
        MenuItem::separator(),
        command(QStringLiteral("Quit Korvane"), &QCoreApplication::quit, QStringLiteral("Ctrl+Q")),
    };
    table.insert(table.begin() + 2, MenuItem::separator());
    if (rows) {
        MenuItem run;
        run.lines = std::move(rows);
        table.insert(table.begin() + 2, std::move(run));
    }
    return table;
}

} // namespace korvane
