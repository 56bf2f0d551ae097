#pragma once

#include "status/StateRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace korvane {

// What a state record says about the place its agent runs, and the command
// lines that bring that place forward: tmux, the editors, kitty, WezTerm, sway
// and KWin. Pure: the caller runs the commands and reads the answers back in.
class JumpPlan {
public:
    struct Command {
        QString program;
        QStringList args;
        bool operator==(const Command&) const = default;
    };

    // The pane the agent runs in, from TMUX ("<socket>,<server pid>,<session>") and TMUX_PANE.
    struct Tmux {
        QString socket;
        qint64 serverPid = 0;
        QString pane; // "%N"
    };
    static std::optional<Tmux> tmuxOf(const StateRecord::Where& where);
    // One call: the pane's server, id and position, then every client attached.
    static Command tmuxQuery(const Tmux& tmux);
    struct TmuxClient {
        qint64 activity = 0;
        QString session, tty;
        qint64 pid = 0;
    };
    struct TmuxAnswer {
        bool gone = true;          // the pane is not there (or the server is another one)
        QString session, target;   // target: "session:window.pane"
        bool active = false;       // the active pane of the active window of an attached session
        QList<TmuxClient> clients; // attached clients, control mode left out, the most recent first
    };
    static TmuxAnswer parseTmux(const QByteArray& out, const Tmux& tmux);
    // What shows the pane: select its window and pane where a client is on its
    // session, else move the most recent client there (never a switch-client
    // without -c, which would take whichever client tmux likes). No command when
    // no client is attached. The client is the one whose terminal to raise.
    struct TmuxMove {
        std::optional<Command> command;
        std::optional<TmuxClient> client;
    };
    static TmuxMove tmuxMove(const Tmux& tmux, const TmuxAnswer& answer);
    // Where TMUX was not passed on, a server's panes by their terminal (`server`: its
    // -L or -S, none for the default one), and the one on that terminal ("pts/3") as
    // TMUX and TMUX_PANE would name it.
    static Command tmuxPanes(const QStringList& server = {});
    // The -L name or -S path a tmux server was started with, from its command line
    // (/proc/<pid>/cmdline keeps it); none for the default server or a relative -S.
    static QStringList tmuxServer(const QByteArray& cmdline);
    static std::optional<Tmux> paneOnTty(const QByteArray& out, const QString& tty);

    // The editor's own command line with the workspace folder, which brings the
    // window that has it open forward (never -r: it would replace the folder of
    // another window). Candidates in order, the editor's own copy first.
    static QList<Command> editor(const StateRecord& record);
    static std::optional<Command> kitty(const StateRecord::Where& where);
    static std::optional<Command> wezterm(const StateRecord::Where& where);
    static Command sway(qint64 pid);
    // A KWin script that activates the first window of these processes (Plasma 5 and 6),
    // and the D-Bus calls that load, run and unload it.
    static QString kwinScript(const QList<qint64>& pids);
    static Command kwinLoad(const QString& scriptFile);
    static Command kwinRun(const QByteArray& loadAnswer); // program empty when the answer has no id
    static Command kwinUnload();

    // "pts/3" for a tty_nr of /proc/<pid>/stat, "" when it is none.
    static QString ttyName(qint64 ttyNr);

    // The sentence that says where the agent is, when Korvane cannot take the user there:
    // "tmux work:2.1 in xterm 'TERM-A', desktop 2".
    struct Description {
        QString tmuxTarget, terminal, title, editor, tty;
        int desktop = 0; // 1-based; 0 when it does not matter
    };
    static QString sentence(const Description& d);
};

} // namespace korvane
