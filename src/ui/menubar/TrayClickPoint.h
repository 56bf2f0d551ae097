#pragma once

#include <QPoint>
#include <optional>

namespace korvane {

// Where a StatusNotifierItem host was clicked. Qt hands the point that comes
// with the host's Activate call to nothing but a debug line of its tray
// category; under Wayland, where the X server does not know the pointer, a menu
// opened at QCursor::pos() lands far from the bar. So that line is caught here
// (and kept off the output unless the user asked for it). Should a Qt version
// stop writing it, menus open at the pointer as before.
class TrayClickPoint {
public:
    // Once, after the application object exists: goes in front of the current message handler.
    static void install();
    // The point of the latest host click, once; nullopt when none came or the host sent none.
    static std::optional<QPoint> take();
    // Where the menu of the latest click opens: at the host's point, else at the pointer.
    static QPoint menuPosition();
};

} // namespace korvane
