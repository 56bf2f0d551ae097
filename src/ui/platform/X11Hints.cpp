#include "platform/X11Hints.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef KORVANE_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>
#endif

namespace korvane {

#ifdef KORVANE_HAVE_XCB
namespace {

xcb_connection_t* connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t a = reply->atom;
    std::free(reply);
    return a;
}

} // namespace
#endif

void X11Hints::keepOffTaskbarOnAllDesktops(QWidget* window)
{
#ifdef KORVANE_HAVE_XCB
    xcb_connection_t* c = connection();
    if (!c || !window)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    // Qt merges its own states into whatever _NET_WM_STATE holds when it maps
    // the window, so atoms appended now survive the show.
    const xcb_atom_t states[] = {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(c, XCB_PROP_MODE_APPEND, id, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2, states);
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    xcb_flush(c);
#else
    Q_UNUSED(window);
#endif
}

namespace {

// Whether the selection is owned; `otherwise` off X11.
bool selectionOwned(const char* name, bool otherwise)
{
#ifdef KORVANE_HAVE_XCB
    xcb_connection_t* c = connection();
    if (!c)
        return otherwise;
    const auto cookie = xcb_get_selection_owner(c, atom(c, name));
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(c, cookie, nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
#else
    Q_UNUSED(name);
    return otherwise;
#endif
}

} // namespace

bool X11Hints::compositorRunning()
{
    return selectionOwned("_NET_WM_CM_S0", true);
}

bool X11Hints::systemTrayOwned()
{
    return selectionOwned("_NET_SYSTEM_TRAY_S0", false);
}

} // namespace korvane
