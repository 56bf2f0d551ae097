// korvane_xprobe: what the end-to-end tests and the system benchmarks need to
// know about an X display, asked directly over xcb. A pixel read is one round
// trip (well under a millisecond) where `import` + `convert` cost ~0.5 s, so
// waits can poll tightly and latencies can be measured at all.
//
//   pixel X Y                         print the root's colour at (X, Y) as #RRGGBB
//   wait-pixel X Y COLOR [options]    poll (X, Y) until it shows COLOR
//       -p X Y COLOR  and this pixel too (repeatable; each is timed on its own)
//       -P X Y COLOR  and this pixel, until it no longer shows COLOR
//       -t TOL      per-channel tolerance (default 6)
//       -T MS       give up after MS milliseconds (default 5000) and exit 1
//       -n          wait until it does NOT show COLOR
//       -s MS       the colour must hold for MS milliseconds (default 0)
//       -r SRC DST  rename SRC to DST first; the clock starts just before the rename
//     prints "<elapsed ms> <last colour>" per pixel, on one line
//   windows                           one line per viewable top-level window:
//                                     id x y w h type popup|- class|instance name
//                                     ("popup": override-redirect, as menus are)
//   root-colour COLOR                 paint the desktop (also under a compositing manager)
//   compositor                        exit 0 when a compositing manager runs
//   tray-icons                        one line per icon embedded in the tray host:
//                                     id x y w h class|instance
//   tray-icon [-T MS] [-p] [-- CMD...]
//       wait until a window is embedded in the XEmbed tray host (trayer) and print
//       "<id> <x> <y> <w> <h> <elapsed ms>"; with -p also wait until the icon's
//       centre no longer shows the host's background and append that time; with a
//       command, start it first (the clock starts at fork; its output goes to /dev/null)
//       and print "pid <n>" first.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter<T>>;

xcb_connection_t* g_conn = nullptr;
xcb_screen_t* g_screen = nullptr;
std::uint32_t g_masks[3] = {0xff0000, 0x00ff00, 0x0000ff};

[[noreturn]] void die(const std::string& message)
{
    std::fprintf(stderr, "korvane_xprobe: %s\n", message.c_str());
    std::exit(2);
}

void connectDisplay()
{
    int screenNumber = 0;
    g_conn = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(g_conn))
        die("cannot open the display (DISPLAY is not set or the server is gone)");
    // A command started by tray-icon must not inherit the connection.
    fcntl(xcb_get_file_descriptor(g_conn), F_SETFD, FD_CLOEXEC);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(g_conn));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    g_screen = it.data;
    for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(g_screen); d.rem; xcb_depth_next(&d)) {
        for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem;
             xcb_visualtype_next(&v)) {
            if (v.data->visual_id == g_screen->root_visual) {
                g_masks[0] = v.data->red_mask;
                g_masks[1] = v.data->green_mask;
                g_masks[2] = v.data->blue_mask;
            }
        }
    }
}

struct Rgb {
    int r = 0, g = 0, b = 0;
};

int channel(std::uint32_t pixel, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    const int shift = __builtin_ctz(mask);
    const std::uint32_t max = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

std::optional<Rgb> readPixel(int x, int y)
{
    xcb_get_image_cookie_t cookie =
        xcb_get_image(g_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, g_screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), 1, 1, ~0u);
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(g_conn, cookie, nullptr));
    if (!reply)
        return std::nullopt;
    const std::uint8_t* data = xcb_get_image_data(reply.get());
    const int length = xcb_get_image_data_length(reply.get());
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, data, static_cast<std::size_t>(std::min(length, 4)));
    return Rgb{channel(pixel, g_masks[0]), channel(pixel, g_masks[1]), channel(pixel, g_masks[2])};
}

std::string hex(const Rgb& c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
    return text;
}

Rgb parseColour(const char* text)
{
    const char* p = text[0] == '#' ? text + 1 : text;
    if (std::strlen(p) != 6)
        die(std::string("not a colour: ") + text);
    const unsigned long v = std::strtoul(p, nullptr, 16);
    return Rgb{static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff),
               static_cast<int>(v & 0xff)};
}

bool near(const Rgb& a, const Rgb& b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

xcb_atom_t atom(const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        g_conn, xcb_intern_atom(g_conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string property(xcb_window_t window, xcb_atom_t prop, xcb_atom_t type)
{
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(g_conn, xcb_get_property(g_conn, 0, window, prop, type, 0, 1024), nullptr));
    if (!reply)
        return {};
    const char* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(value, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

// "instance\0class\0" -> "class|instance"
std::string wmClass(xcb_window_t window)
{
    const std::string raw = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    if (raw.empty())
        return {};
    const std::string instance = raw.c_str();
    const std::string klass =
        instance.size() + 1 < raw.size() ? std::string(raw.c_str() + instance.size() + 1) : "";
    return klass + "|" + instance;
}

std::string windowName(xcb_window_t window)
{
    static const xcb_atom_t netName = atom("_NET_WM_NAME");
    static const xcb_atom_t utf8 = atom("UTF8_STRING");
    std::string name = property(window, netName, utf8);
    if (name.empty())
        name = property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
    std::replace(name.begin(), name.end(), '\n', ' ');
    return name;
}

std::string windowType(xcb_window_t window)
{
    static const xcb_atom_t typeAtom = atom("_NET_WM_WINDOW_TYPE");
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        g_conn, xcb_get_property(g_conn, 0, window, typeAtom, XCB_ATOM_ATOM, 0, 1), nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) < 4)
        return "-";
    const xcb_atom_t first = *static_cast<xcb_atom_t*>(xcb_get_property_value(reply.get()));
    Reply<xcb_get_atom_name_reply_t> name(
        xcb_get_atom_name_reply(g_conn, xcb_get_atom_name(g_conn, first), nullptr));
    if (!name)
        return "-";
    std::string text(xcb_get_atom_name_name(name.get()),
                     static_cast<std::size_t>(xcb_get_atom_name_name_length(name.get())));
    const std::string prefix = "_NET_WM_WINDOW_TYPE_";
    return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
}

std::vector<xcb_window_t> children(xcb_window_t window)
{
    Reply<xcb_query_tree_reply_t> reply(
        xcb_query_tree_reply(g_conn, xcb_query_tree(g_conn, window), nullptr));
    if (!reply)
        return {};
    const xcb_window_t* list = xcb_query_tree_children(reply.get());
    return std::vector<xcb_window_t>(list, list + xcb_query_tree_children_length(reply.get()));
}

Reply<xcb_get_window_attributes_reply_t> attributes(xcb_window_t window)
{
    return Reply<xcb_get_window_attributes_reply_t>(
        xcb_get_window_attributes_reply(g_conn, xcb_get_window_attributes(g_conn, window), nullptr));
}

bool viewable(xcb_window_t window)
{
    const auto reply = attributes(window);
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

struct Geometry {
    int x = 0, y = 0, w = 0, h = 0;
};

std::optional<Geometry> geometry(xcb_window_t window)
{
    Reply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(g_conn, xcb_get_geometry(g_conn, window), nullptr));
    if (!g)
        return std::nullopt;
    Reply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(
        g_conn, xcb_translate_coordinates(g_conn, window, g_screen->root, 0, 0), nullptr));
    if (!t)
        return std::nullopt;
    return Geometry{t->dst_x, t->dst_y, g->width, g->height};
}

// The client window of a top-level: itself, or under a window manager's frame
// the first descendant that carries WM_CLASS.
xcb_window_t clientOf(xcb_window_t top, int depth = 0)
{
    if (!wmClass(top).empty() || depth > 3)
        return top;
    for (xcb_window_t child : children(top)) {
        const xcb_window_t found = clientOf(child, depth + 1);
        if (!wmClass(found).empty())
            return found;
    }
    return top;
}

int cmdPixel(int argc, char** argv)
{
    if (argc != 2)
        die("usage: pixel X Y");
    const auto c = readPixel(std::atoi(argv[0]), std::atoi(argv[1]));
    if (!c)
        die("cannot read the pixel");
    std::printf("%s\n", hex(*c).c_str());
    return 0;
}

struct Target {
    int x = 0, y = 0;
    Rgb want;
    bool negate = false;
    Rgb last;
    std::optional<Clock::time_point> matchedSince;
    double matchedAt = 0;
    bool done = false;
};

int cmdWaitPixel(int argc, char** argv)
{
    if (argc < 3)
        die("usage: wait-pixel X Y COLOR [-p|-P X Y COLOR]... [-t TOL] [-T MS] [-n] [-s MS] [-r SRC DST]");
    std::vector<Target> targets(1);
    targets[0].x = std::atoi(argv[0]);
    targets[0].y = std::atoi(argv[1]);
    targets[0].want = parseColour(argv[2]);
    int tolerance = 6;
    double timeoutMs = 5000;
    double holdMs = 0;
    bool negate = false;
    const char* renameFrom = nullptr;
    const char* renameTo = nullptr;
    for (int i = 3; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "-t" && i + 1 < argc)
            tolerance = std::atoi(argv[++i]);
        else if (opt == "-T" && i + 1 < argc)
            timeoutMs = std::atof(argv[++i]);
        else if (opt == "-s" && i + 1 < argc)
            holdMs = std::atof(argv[++i]);
        else if (opt == "-n")
            negate = true;
        else if ((opt == "-p" || opt == "-P") && i + 3 < argc) {
            Target t;
            t.negate = opt == "-P";
            t.x = std::atoi(argv[++i]);
            t.y = std::atoi(argv[++i]);
            t.want = parseColour(argv[++i]);
            targets.push_back(t);
        } else if (opt == "-r" && i + 2 < argc) {
            renameFrom = argv[++i];
            renameTo = argv[++i];
        } else
            die("unknown option " + opt);
    }
    const Clock::time_point start = Clock::now();
    if (renameFrom && std::rename(renameFrom, renameTo) != 0)
        die(std::string("rename failed: ") + std::strerror(errno));
    const auto report = [&](bool timedOut) {
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const Target& t = targets[i];
            std::printf("%s%.2f %s", i ? " " : "", t.done || !timedOut ? t.matchedAt : msSince(start),
                        hex(t.last).c_str());
        }
        std::printf("\n");
    };
    while (true) {
        bool allDone = true;
        for (Target& t : targets) {
            if (t.done)
                continue;
            const auto c = readPixel(t.x, t.y);
            if (!c)
                die("cannot read the pixel");
            t.last = *c;
            const bool ok = near(t.last, t.want, tolerance) != (negate != t.negate);
            if (ok && !t.matchedSince) {
                t.matchedSince = Clock::now();
                t.matchedAt = msSince(start);
            } else if (!ok) {
                t.matchedSince.reset();
            }
            t.done = t.matchedSince && msSince(*t.matchedSince) >= holdMs;
            allDone = allDone && t.done;
        }
        if (allDone) {
            report(false);
            return 0;
        }
        if (msSince(start) > timeoutMs) {
            report(true);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

int cmdWindows()
{
    for (xcb_window_t top : children(g_screen->root)) {
        const auto attrs = attributes(top);
        if (!attrs || attrs->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        const xcb_window_t client = clientOf(top);
        const auto g = geometry(top);
        if (!g)
            continue;
        const std::string klass = wmClass(client);
        std::printf("0x%x %d %d %d %d %s %s %s %s\n", client, g->x, g->y, g->w, g->h,
                    windowType(client).c_str(), attrs->override_redirect ? "popup" : "-",
                    klass.empty() ? "-" : klass.c_str(), windowName(client).c_str());
    }
    return 0;
}

// trayer's panel is the top-level window of class "trayer", instance "panel";
// an embedded icon is a grandchild of it (trayer wraps each icon in a socket window).
std::optional<xcb_window_t> trayPanel()
{
    for (xcb_window_t top : children(g_screen->root)) {
        if (wmClass(top) == "trayer|panel")
            return top;
    }
    return std::nullopt;
}

std::vector<xcb_window_t> trayIcons()
{
    std::vector<xcb_window_t> icons;
    if (const auto panel = trayPanel()) {
        for (xcb_window_t socket : children(*panel)) {
            for (xcb_window_t icon : children(socket)) {
                if (viewable(icon))
                    icons.push_back(icon);
            }
        }
    }
    return icons;
}

std::optional<xcb_window_t> newTrayIcon(const std::vector<xcb_window_t>& known)
{
    for (xcb_window_t icon : trayIcons()) {
        if (std::find(known.begin(), known.end(), icon) == known.end())
            return icon;
    }
    return std::nullopt;
}

int cmdTrayIcons()
{
    for (xcb_window_t icon : trayIcons()) {
        if (const auto g = geometry(icon))
            std::printf("0x%x %d %d %d %d %s\n", icon, g->x, g->y, g->w, g->h, wmClass(icon).c_str());
    }
    return 0;
}

int cmdTrayIcon(int argc, char** argv)
{
    double timeoutMs = 5000;
    bool waitPainted = false;
    int i = 0;
    for (; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "-T" && i + 1 < argc)
            timeoutMs = std::atof(argv[++i]);
        else if (opt == "-p")
            waitPainted = true;
        else if (opt == "--") {
            ++i;
            break;
        } else
            die("unknown option " + opt);
    }
    // With a command, only an icon that was not there before counts.
    const std::vector<xcb_window_t> known = i < argc ? trayIcons() : std::vector<xcb_window_t>{};
    const Clock::time_point start = Clock::now();
    if (i < argc) {
        const pid_t pid = fork();
        if (pid < 0)
            die("fork failed");
        if (pid == 0) {
            // Not on our output: a caller reading it through a pipe would otherwise wait
            // for the command to end, not for us.
            const int devNull = open("/dev/null", O_RDWR);
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            execvp(argv[i], argv + i);
            _exit(127);
        }
        std::printf("pid %d\n", static_cast<int>(pid));
        std::fflush(stdout);
    }
    std::optional<xcb_window_t> icon;
    while (!(icon = newTrayIcon(known))) {
        if (msSince(start) > timeoutMs) {
            std::fprintf(stderr, "korvane_xprobe: no tray icon after %.0f ms\n", timeoutMs);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    const double embeddedMs = msSince(start);
    auto g = geometry(*icon);
    if (waitPainted) {
        // The icon's centre shows the host's background (the colour of the panel's corner)
        // until the icon draws its dot. trayer moves and resizes its panel and sockets as
        // icons arrive, so the geometry is read afresh each time.
        while (true) {
            g = geometry(*icon);
            const auto panel = trayPanel();
            const auto pg = panel ? geometry(*panel) : std::nullopt;
            const auto background = pg ? readPixel(pg->x, pg->y) : std::nullopt;
            const auto c = g ? readPixel(g->x + g->w / 2, g->y + g->h / 2) : std::nullopt;
            if (c && background && !near(*c, *background, 12))
                break;
            if (msSince(start) > timeoutMs) {
                std::fprintf(stderr, "korvane_xprobe: tray icon 0x%x not painted after %.0f ms\n", *icon,
                             timeoutMs);
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
    if (!g)
        return 1;
    std::printf("0x%x %d %d %d %d %.2f", *icon, g->x, g->y, g->w, g->h, embeddedMs);
    if (waitPainted)
        std::printf(" %.2f", msSince(start));
    std::printf("\n");
    return 0;
}

// Paints the desktop in one colour the way wallpaper setters do: a pixmap kept after
// this client exits, announced in _XROOTPMAP_ID. A compositing manager paints that
// pixmap behind the windows (a plain root colour, as xsetroot -solid sets, it ignores).
int cmdRootColour(int argc, char** argv)
{
    if (argc != 1)
        die("usage: root-colour COLOR");
    const Rgb c = parseColour(argv[0]);
    const auto scale = [](int v, std::uint32_t mask) {
        const int shift = __builtin_ctz(mask);
        return (static_cast<std::uint32_t>(v) * (mask >> shift) / 255) << shift;
    };
    const std::uint32_t pixel = scale(c.r, g_masks[0]) | scale(c.g, g_masks[1]) | scale(c.b, g_masks[2]);
    const xcb_pixmap_t pixmap = xcb_generate_id(g_conn);
    xcb_create_pixmap(g_conn, g_screen->root_depth, pixmap, g_screen->root, 1, 1);
    const xcb_gcontext_t gc = xcb_generate_id(g_conn);
    xcb_create_gc(g_conn, gc, pixmap, XCB_GC_FOREGROUND, &pixel);
    const xcb_rectangle_t all = {0, 0, 1, 1};
    xcb_poly_fill_rectangle(g_conn, pixmap, gc, 1, &all);
    xcb_free_gc(g_conn, gc);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"})
        xcb_change_property(g_conn, XCB_PROP_MODE_REPLACE, g_screen->root, atom(name), XCB_ATOM_PIXMAP, 32, 1,
                            &pixmap);
    xcb_change_window_attributes(g_conn, g_screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(g_conn, 0, g_screen->root, 0, 0, 0, 0);
    xcb_set_close_down_mode(g_conn, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    // A round trip, so that everything is done before the connection closes.
    std::free(xcb_get_input_focus_reply(g_conn, xcb_get_input_focus(g_conn), nullptr));
    return 0;
}

// A compositing manager owns the _NET_WM_CM_S0 selection.
int cmdCompositor()
{
    Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        g_conn, xcb_get_selection_owner(g_conn, atom("_NET_WM_CM_S0")), nullptr));
    return reply && reply->owner != XCB_NONE ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        die("usage: korvane_xprobe pixel|wait-pixel|windows|tray-icon ...");
    connectDisplay();
    const std::string command = argv[1];
    if (command == "pixel")
        return cmdPixel(argc - 2, argv + 2);
    if (command == "wait-pixel")
        return cmdWaitPixel(argc - 2, argv + 2);
    if (command == "windows")
        return cmdWindows();
    if (command == "root-colour")
        return cmdRootColour(argc - 2, argv + 2);
    if (command == "compositor")
        return cmdCompositor();
    if (command == "tray-icons")
        return cmdTrayIcons();
    if (command == "tray-icon")
        return cmdTrayIcon(argc - 2, argv + 2);
    die("unknown command " + command);
}
