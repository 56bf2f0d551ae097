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

    static QString layoutTitle(OverlayMode mode);
    // "3 windows • 1 working", "1 tab • 0 working", "No active windows".
    static QString summaryTitle(const WindowStatusList& rows, bool perTab);

    // The two information lines on top are read from `statusLine` and `summaryLine`.
    static MenuTable table(MenuCommands& commands, std::function<QString()> statusLine,
                           std::function<QString()> summaryLine);

private:
    static MenuItem layoutMenu(MenuCommands& commands);
    static MenuItem orientationMenu(MenuCommands& commands);
    static MenuItem sizeMenu(MenuCommands& commands);
};

} // namespace korvane
