#pragma once

class QWidget;

namespace korvane {

// What Qt does not say to an X11 window manager or cannot tell about the
// display. Every call does nothing (or answers for a composited desktop) off the
// xcb platform, so callers need no platform checks of their own.
struct X11Hints {
    // Keeps a floating window out of task bars and pagers and on every desktop.
    // Call after the native window exists and before it is first shown: the
    // window manager reads these when the window is mapped.
    static void keepOffTaskbarOnAllDesktops(QWidget* window);

    // Whether a compositing manager owns the screen. Without one, translucent
    // pixels are not blended with the desktop, so rounded corners need a shape
    // mask. Off X11 the desktop always composites.
    static bool compositorRunning();

    // Whether an XEmbed system tray owns the screen. False off X11.
    static bool systemTrayOwned();
};

} // namespace korvane
