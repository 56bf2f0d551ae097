#pragma once

#include "menubar/MenuItem.h"
#include "settings/OverlayMode.h"
#include "status/WindowStatus.h"

#include <QList>
#include <QString>
#include <functional>

namespace korvane {

class MenuCommands;

// The menu of the tray and of the floating light: its items in order, with
// their titles, keys and marks.
class MenuItems {
public:
    struct SizePreset {
        QString label;
        double scale;
    };
    static const QList<SizePreset>& sizePresets();

    static constexpr int kMaxRowLines = 12;

    static QString layoutTitle(OverlayMode mode);
    // "3 windows • 1 working • 1 needs you", "1 tab • 0 working", "No active windows".
    static QString summaryTitle(const WindowStatusList& rows, bool perTab);
    // " • 2 need you", "" for none: what the tooltip and the summary add.
    static QString needYouTitle(int count);
    // "alpha (Claude Code) — Waiting for your answer · 3 min", at `now` (seconds since 1970).
    static QString rowTitle(const WindowStatus& row, double now);
    // One line per row, those that need the user first, then the most recent; at
    // most kMaxRowLines and a last line for the rest. Choosing one calls `choose` with its id.
    // Under each row stand the lines `under` gives for it.
    static MenuTable rowLines(WindowStatusList rows, double now, const std::function<void(QString)>& choose,
                              const std::function<MenuTable(const WindowStatus&)>& under = {});

    // The two information lines on top are read from `statusLine` and `summaryLine`, the
    // run of lines under them (when set) from `rows`.
    static MenuTable table(MenuCommands& commands, std::function<QString()> statusLine,
                           std::function<QString()> summaryLine, std::function<MenuTable()> rows = {});

private:
    static MenuItem layoutMenu(MenuCommands& commands);
    static MenuItem orientationMenu(MenuCommands& commands);
    static MenuItem sizeMenu(MenuCommands& commands);
};

} // namespace korvane
