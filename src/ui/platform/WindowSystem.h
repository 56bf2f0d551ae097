#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace korvane {

// The top-level windows of an X11 display (XWayland included) as a window
// manager that follows the extended hints lists them. Off X11, available() is false.
class WindowSystem {
public:
    static constexpr qint64 kAllDesktops = 0xFFFFFFFF;
    virtual ~WindowSystem() = default;
    virtual bool available() const = 0;
    // The managed windows, bottom to top.
    virtual QList<quint32> windows() const = 0;
    virtual qint64 pidOf(quint32 window) const = 0; // 0 when unknown
    virtual QString titleOf(quint32 window) const = 0;
    virtual qint64 desktopOf(quint32 window) const = 0; // -1 when unknown
    virtual qint64 currentDesktop() const = 0;          // -1 when unknown
    virtual quint32 activeWindow() const = 0;
    // Asks the window manager, as a pager would (source 2, no timestamp): a
    // request it honours on every desktop tested, and that restores a minimized window.
    virtual void switchDesktop(qint64 desktop) = 0;
    virtual void activate(quint32 window) = 0;

    // The X11 display Qt is connected to.
    static WindowSystem& standard();
};

} // namespace korvane
