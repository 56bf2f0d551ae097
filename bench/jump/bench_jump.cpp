// From the click to the terminal window raised: TakeMeThere::go() against the
// real window manager of $DISPLAY (one that follows the extended hints: openbox,
// xfwm4, KWin, mutter, i3), two xterms and a tmux server of its own. The agent's
// pane sits in a tmux window not shown and the other xterm is active before each
// run. go() returns once the window manager made the window active.
//
//   bench_jump [runs]   (default 31; needs xterm and tmux; medians are printed)
//   e.g. xvfb-run -a sh -c 'openbox & sleep 1; build/bench/jump/bench_jump'

#include "focus/TakeMeThere.h"
#include "platform/ProcessRunner.h"
#include "platform/ProcessTable.h"
#include "platform/WindowSystem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace korvane;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

quint32 windowOf(WindowSystem& windows, qint64 pid)
{
    for (int i = 0; i < 500; ++i) {
        for (quint32 w : windows.windows()) {
            if (windows.pidOf(w) == pid)
                return w;
        }
        QThread::msleep(10);
    }
    return 0;
}

bool waitActive(WindowSystem& windows, quint32 w)
{
    for (int i = 0; i < 500 && windows.activeWindow() != w; ++i)
        QThread::msleep(2);
    return windows.activeWindow() == w;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    WindowSystem& windows = WindowSystem::standard();
    ProcessRunner& runner = SystemProcessRunner::instance();
    if (!windows.available() || windows.currentDesktop() < 0 || !runner.available("xterm") ||
        !runner.available("tmux")) {
        std::fprintf(stderr, "bench_jump needs an X11 display with a window manager, xterm and tmux\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString sock = dir.filePath("tmux.sock");
    const QStringList tmux{"-S", sock, "-f", "/dev/null"};
    runner.run("tmux",
               tmux + QStringList{"new-session", "-d", "-s", "work", "-n", "main", "-x", "80", "-y", "24"},
               3000);
    runner.run("tmux", tmux + QStringList{"new-window", "-d", "-t", "work:", "-n", "agent", "sleep 600"},
               3000);
    const QByteArray pane =
        runner.run("tmux", tmux + QStringList{"list-panes", "-t", "work:agent", "-F", "#{pane_id}"}, 3000)
            .out.trimmed();
    const QByteArray server =
        runner.run("tmux", tmux + QStringList{"display", "-p", "#{pid}"}, 3000).out.trimmed();

    QProcess a, b;
    a.start("xterm", {"-T", "BENCH-A", "-e", "tmux", "-S", sock, "attach", "-t", "work"});
    b.start("xterm", {"-T", "BENCH-B", "-e", "sleep", "600"});
    const quint32 winA = windowOf(windows, a.processId()), winB = windowOf(windows, b.processId());
    if (!winA || !winB) {
        std::fprintf(stderr, "the xterms did not show\n");
        return 2;
    }

    StateRecord inTmux;
    inTmux.state = "waiting";
    inTmux.where = StateRecord::Where{};
    inTmux.where->vars = {{"TMUX", sock + ',' + QString::fromUtf8(server) + ",0"},
                          {"TMUX_PANE", QString::fromUtf8(pane)}};
    StateRecord plain;
    plain.state = "waiting";
    plain.where = StateRecord::Where{};
    plain.where->chain = {{a.processId(), "xterm"}};

    TakeMeThere take(runner, windows, SystemProcessTable::instance());
    std::printf("click to window raised, median of %d runs (ms)\n", runs);
    for (const auto& [label, record] :
         {std::pair{"tmux pane, then its xterm", &inTmux}, std::pair{"xterm alone (no tmux)", &plain}}) {
        std::vector<double> ms;
        int missed = 0;
        for (int i = 0; i < runs; ++i) {
            runner.run("tmux", tmux + QStringList{"select-window", "-t", "work:main"}, 3000);
            windows.activate(winB);
            if (!waitActive(windows, winB))
                continue;
            QElapsedTimer t;
            t.start();
            const TakeMeThere::Outcome outcome = take.go(*record);
            const double elapsed = double(t.nsecsElapsed()) / 1e6;
            if (outcome.reached && windows.activeWindow() == winA)
                ms.push_back(elapsed);
            else
                ++missed;
        }
        std::printf("%-30s %8.2f   (%d missed; target <= 100)\n", label, median(ms), missed);
    }
    runner.run("tmux", tmux + QStringList{"kill-server"}, 3000);
    a.kill();
    b.kill();
    a.waitForFinished(1000);
    b.waitForFinished(1000);
    return 0;
}
