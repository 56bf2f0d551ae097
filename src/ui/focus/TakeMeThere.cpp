#include "focus/TakeMeThere.h"

#include "focus/JumpPlan.h"
#include "platform/ProcessRunner.h"
#include "platform/ProcessTable.h"
#include "platform/WindowSystem.h"
#include "status/StatusRules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryFile>
#include <QThread>

namespace korvane {

namespace {

using Chain = QList<std::pair<qint64, QString>>;

bool isShell(const QString& name)
{
    static const QStringList shells{"sh",  "bash", "dash", "ash", "zsh",    "fish",
                                    "ksh", "mksh", "tcsh", "csh", "busybox"};
    return shells.contains(name);
}

// The terminal (or whatever shows the agent) in a chain that starts at the agent
// or at a tmux client: the first ancestor that is not a shell.
std::optional<std::pair<qint64, QString>> outerOf(const Chain& chain)
{
    for (qsizetype i = 1; i < chain.size(); ++i) {
        if (!isShell(chain.at(i).second))
            return chain.at(i);
    }
    return std::nullopt;
}

} // namespace

TakeMeThere::TakeMeThere(ProcessRunner& runner, WindowSystem& windows, const ProcessTable& processes,
                         QObject* parent)
    : QObject(parent), m_runner(runner), m_windows(windows), m_processes(processes)
{}

TakeMeThere::Outcome TakeMeThere::go(const StateRecord& record)
{
    Outcome outcome;
    const StateRecord::Where where = record.where.value_or(StateRecord::Where{});
    JumpPlan::Description d;
    d.tty = JumpPlan::ttyName(where.ttyNr);
    Chain chain = where.chain;
    if (record.process && m_processes.isRunning(record.process->pid, record.process->start) == true)
        chain = m_runner.ancestry(record.process->pid);
    quint32 hinted = where.vars.value(QStringLiteral("WINDOWID")).toUInt();

    if (const std::optional<JumpPlan::Tmux> tmux = paneOf(where)) {
        const JumpPlan::Command query = JumpPlan::tmuxQuery(*tmux);
        const JumpPlan::TmuxAnswer answer =
            JumpPlan::parseTmux(m_runner.run(query.program, query.args, 1000).out, *tmux);
        if (answer.gone) {
            outcome.where = QStringLiteral("tmux pane %1").arg(tmux->pane);
            outcome.problem = QStringLiteral("That tmux pane is gone.");
            return outcome;
        }
        d.tmuxTarget = answer.target;
        const JumpPlan::TmuxMove move = JumpPlan::tmuxMove(*tmux, answer);
        if (!move.client) {
            outcome.where = JumpPlan::sentence(d);
            outcome.problem =
                QStringLiteral("No terminal shows that tmux session; attach to it to get there.");
            return outcome;
        }
        m_runner.run(move.command->program, move.command->args, 1000);
        // The pane's WINDOWID is the one of the terminal that attached first:
        // the client's own environment names the terminal that shows it now.
        chain = m_runner.ancestry(move.client->pid);
        hinted = m_runner.environOf(move.client->pid, "WINDOWID").toUInt();
    }

    for (const auto& tab : {JumpPlan::kitty(where), JumpPlan::wezterm(where)}) {
        // WezTerm's command line goes through env, which sets its socket.
        if (tab && m_runner.available(tab->program == u"env" ? QStringLiteral("wezterm") : tab->program))
            m_runner.run(tab->program, tab->args, 1500);
    }

    for (const JumpPlan::Command& editor : JumpPlan::editor(record)) {
        if (m_runner.available(editor.program) && m_runner.startDetached(editor.program, editor.args)) {
            d.editor = QFileInfo(editor.program).fileName() == u"cursor" ? QStringLiteral("Cursor")
                                                                         : QStringLiteral("VS Code");
            d.title = StatusRules::windowName(record.workspaceKey());
            outcome.reached = true;
            outcome.where = JumpPlan::sentence(d);
            return outcome;
        }
    }

    // sway only marks an X11 window urgent when asked to activate it; its IPC focuses either kind.
    if (!qEnvironmentVariableIsEmpty("SWAYSOCK")) {
        outcome.reached = viaCompositor(chain);
    } else if (m_windows.available()) {
        const Found found = findWindow(hinted, chain, record.workspaceKey());
        d.terminal = found.terminal;
        d.title = found.title;
        d.desktop = found.desktop;
        outcome.reached = found.window && raise(found);
    } else {
        outcome.reached = viaCompositor(chain);
    }
    if (d.terminal.isEmpty())
        d.terminal = outerOf(chain).value_or(std::pair<qint64, QString>{}).second;
    outcome.where = JumpPlan::sentence(d);
    return outcome;
}

bool TakeMeThere::isInFront(const StateRecord& record)
{
    if (!m_windows.available())
        return false;
    const quint32 active = m_windows.activeWindow();
    if (!active)
        return false;
    const StateRecord::Where where = record.where.value_or(StateRecord::Where{});
    QList<Chain> chains;
    if (const std::optional<JumpPlan::Tmux> tmux = paneOf(where)) {
        const JumpPlan::Command query = JumpPlan::tmuxQuery(*tmux);
        const JumpPlan::TmuxAnswer answer =
            JumpPlan::parseTmux(m_runner.run(query.program, query.args, 1000).out, *tmux);
        if (answer.gone || !answer.active)
            return false;
        for (const JumpPlan::TmuxClient& client : answer.clients) {
            if (client.session == answer.session)
                chains.append(m_runner.ancestry(client.pid));
        }
    } else {
        chains.append(record.process ? m_runner.ancestry(record.process->pid) : where.chain);
    }
    const qint64 pid = m_windows.pidOf(active);
    for (const Chain& chain : chains) {
        for (const auto& link : chain) {
            if (pid && link.first == pid)
                return true;
        }
    }
    return false;
}

std::optional<JumpPlan::Tmux> TakeMeThere::paneOf(const StateRecord::Where& where)
{
    if (std::optional<JumpPlan::Tmux> tmux = JumpPlan::tmuxOf(where))
        return tmux;
    // TMUX may not reach the hook (a cleared environment, sudo); the agent's terminal still names its pane.
    const QString tty = JumpPlan::ttyName(where.ttyNr);
    if (!tty.startsWith(QStringLiteral("pts/")) || !m_runner.available(QStringLiteral("tmux")))
        return std::nullopt;
    QStringList server; // the agent's own tmux server, when its process is among the agent's ancestors
    for (const auto& [pid, name] : where.chain) {
        if (name == QLatin1String("tmux: server"))
            server = JumpPlan::tmuxServer(m_runner.readFile(QStringLiteral("/proc/%1/cmdline").arg(pid)));
    }
    const JumpPlan::Command panes = JumpPlan::tmuxPanes(server);
    return JumpPlan::paneOnTty(m_runner.run(panes.program, panes.args, 1000).out, tty);
}

TakeMeThere::Found TakeMeThere::findWindow(quint32 hinted, const Chain& chain, const QString& workspace) const
{
    QHash<qint64, qsizetype> rank;
    for (qsizetype i = 0; i < chain.size(); ++i)
        rank.insert(chain.at(i).first, i);
    const QList<quint32> windows = m_windows.windows();
    Found found;
    qsizetype bestRank = chain.size();
    bool bestTitled = false;
    const QString folder = QFileInfo(workspace).fileName();
    for (quint32 w : windows) {
        const qint64 pid = m_windows.pidOf(w);
        const auto r = rank.constFind(pid);
        if (!pid || r == rank.cend())
            continue;
        // A terminal's own id wins, once its process shows it is the right one.
        if (w == hinted) {
            found.window = w;
            break;
        }
        const bool titled = !folder.isEmpty() && m_windows.titleOf(w).contains(folder);
        if (*r < bestRank || (*r == bestRank && titled >= bestTitled)) {
            found.window = w;
            bestRank = *r;
            bestTitled = titled;
        }
    }
    if (!found.window)
        return found;
    const qint64 pid = m_windows.pidOf(found.window);
    for (const auto& link : chain) {
        if (link.first == pid)
            found.terminal = link.second;
    }
    found.title = m_windows.titleOf(found.window);
    const qint64 desktop = m_windows.desktopOf(found.window);
    if (desktop >= 0 && desktop != WindowSystem::kAllDesktops && desktop != m_windows.currentDesktop())
        found.desktop = int(desktop + 1);
    return found;
}

bool TakeMeThere::raise(const Found& found)
{
    // A window manager refuses (or moves the window) when it is on another desktop.
    if (found.desktop > 0)
        m_windows.switchDesktop(found.desktop - 1);
    m_windows.activate(found.window);
    QElapsedTimer waited;
    waited.start();
    while (m_windows.activeWindow() != found.window) {
        if (waited.elapsed() >= m_confirmMs)
            return false;
        QThread::msleep(2);
    }
    return true;
}

bool TakeMeThere::viaCompositor(const Chain& chain)
{
    const auto outer = outerOf(chain);
    if (!outer)
        return false;
    if (!qEnvironmentVariableIsEmpty("SWAYSOCK")) {
        const JumpPlan::Command focus = JumpPlan::sway(outer->first);
        return m_runner.run(focus.program, focus.args, 1000).exitCode == 0;
    }
    if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QStringLiteral("KDE")) ||
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    QList<qint64> pids;
    for (qsizetype i = 1; i < chain.size(); ++i)
        pids << chain.at(i).first;
    QTemporaryFile script(QDir::tempPath() + QStringLiteral("/korvane-XXXXXX.js"));
    if (!script.open() || script.write(JumpPlan::kwinScript(pids).toUtf8()) < 0 || !script.flush())
        return false;
    const JumpPlan::Command load = JumpPlan::kwinLoad(script.fileName());
    const JumpPlan::Command run = JumpPlan::kwinRun(m_runner.run(load.program, load.args, 1000).out);
    const bool ran = !run.program.isEmpty() && m_runner.run(run.program, run.args, 1000).exitCode == 0;
    const JumpPlan::Command unload = JumpPlan::kwinUnload();
    m_runner.run(unload.program, unload.args, 1000);
    return ran;
}

} // namespace korvane
