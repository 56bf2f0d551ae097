#include "platform/WindowSystem.h"

#include <QGuiApplication>
#include <QHash>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef KORVANE_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace korvane {

namespace {

#ifdef KORVANE_HAVE_XCB
class X11WindowSystem final : public WindowSystem {
public:
    bool available() const override { return connection() != nullptr; }
    QList<quint32> windows() const override
    {
        const std::vector<quint32> ids = property(root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW);
        return {ids.begin(), ids.end()};
    }
    qint64 pidOf(quint32 window) const override { return first(window, "_NET_WM_PID", XCB_ATOM_CARDINAL, 0); }
    QString titleOf(quint32 window) const override
    {
        // Some terminals (xterm) set only the ICCCM name.
        const QString title = text(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"));
        return title.isEmpty() ? text(window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY) : title;
    }
    qint64 desktopOf(quint32 window) const override
    {
        return first(window, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL, -1);
    }
    qint64 currentDesktop() const override
    {
        return first(root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL, -1);
    }
    quint32 activeWindow() const override
    {
        return quint32(first(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 0));
    }
    void switchDesktop(qint64 desktop) override
    {
        send(root(), "_NET_CURRENT_DESKTOP", {quint32(desktop), 0});
    }
    void activate(quint32 window) override { send(window, "_NET_ACTIVE_WINDOW", {2, 0, 0}); }

private:
    static xcb_connection_t* connection()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return nullptr;
        auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        return x11 ? x11->connection() : nullptr;
    }
    static xcb_window_t root()
    {
        xcb_connection_t* c = connection();
        return c ? xcb_setup_roots_iterator(xcb_get_setup(c)).data->root : 0;
    }
    xcb_atom_t atom(const char* name) const
    {
        if (const auto it = m_atoms.constFind(QByteArray(name)); it != m_atoms.cend())
            return *it;
        xcb_connection_t* c = connection();
        const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        m_atoms.insert(QByteArray(name), a);
        return a;
    }
    static QString text(xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
    {
        xcb_connection_t* c = connection();
        if (!c)
            return {};
        const auto cookie = xcb_get_property(c, 0, window, name, type, 0, 256);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
        if (!reply)
            return {};
        const QString title = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply)),
                                                xcb_get_property_value_length(reply));
        std::free(reply);
        return title;
    }
    std::vector<quint32> property(xcb_window_t window, const char* name, xcb_atom_t type) const
    {
        xcb_connection_t* c = connection();
        if (!c || !window)
            return {};
        const auto cookie = xcb_get_property(c, 0, window, atom(name), type, 0, 4096);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
        if (!reply)
            return {};
        std::vector<quint32> values;
        if (reply->format == 32) {
            const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return values;
    }
    qint64 first(xcb_window_t window, const char* name, xcb_atom_t type, qint64 fallback) const
    {
        const std::vector<quint32> v = property(window, name, type);
        return v.empty() ? fallback : qint64(v.front());
    }
    void send(xcb_window_t window, const char* name, std::initializer_list<quint32> data)
    {
        xcb_connection_t* c = connection();
        if (!c || !window)
            return;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom(name);
        std::copy(data.begin(), data.end(), event.data.data32);
        xcb_send_event(c, 0, root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(c);
    }

    mutable QHash<QByteArray, xcb_atom_t> m_atoms;
};
#else
class NoWindowSystem final : public WindowSystem {
public:
    bool available() const override { return false; }
    QList<quint32> windows() const override { return {}; }
    qint64 pidOf(quint32) const override { return 0; }
    QString titleOf(quint32) const override { return {}; }
    qint64 desktopOf(quint32) const override { return -1; }
    qint64 currentDesktop() const override { return -1; }
    quint32 activeWindow() const override { return 0; }
    void switchDesktop(qint64) override {}
    void activate(quint32) override {}
};
#endif

} // namespace

WindowSystem& WindowSystem::standard()
{
#ifdef KORVANE_HAVE_XCB
    static X11WindowSystem system;
#else
    static NoWindowSystem system;
#endif
    return system;
}

} // namespace korvane
