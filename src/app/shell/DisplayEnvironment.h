#pragma once

#include <QByteArray>
#include <QString>

namespace korvane {

// What the process environment says about a display, read before the
// application object exists (Qt aborts when it cannot open one).
struct DisplayEnvironment {
    QByteArray display;        // DISPLAY
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray sessionType;    // XDG_SESSION_TYPE
    QByteArray qpaPlatform;    // QT_QPA_PLATFORM

    static DisplayEnvironment fromProcess();

    // False only where a display is needed and none is named; macOS always has one.
    bool hasDisplay() const;
    // "xcb" on a Wayland session that also runs XWayland: Wayland lets no
    // program place its own windows, and the lights stay where the user put them.
    // Empty when the platform is left to Qt (an explicit non-Wayland choice is kept).
    QByteArray forcedPlatform() const;

    // Applies forcedPlatform() to this process while the application object is
    // made; restore() puts QT_QPA_PLATFORM back, so that programs started later
    // (the browser, a file manager) choose their own platform.
    void apply() const;
    void restore() const;

    static QString missingDisplayMessage();
    // For a display that is named but cannot be opened.
    QString unreachableMessage() const;
};

} // namespace korvane
