#include "focus/JumpPlan.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace korvane {

namespace {
// What follows the first n fields of a line: the last field, which may hold spaces.
QByteArray after(const QByteArray& line, int n)
{
    qsizetype at = 0;
    for (int k = 0; k < n && at >= 0; ++k)
        at = line.indexOf(' ', at) + 1;
    return at > 0 ? line.mid(at) : QByteArray();
}
} // namespace

std::optional<JumpPlan::Tmux> JumpPlan::tmuxOf(const StateRecord::Where& where)
{
    const QStringList parts = where.vars.value(QStringLiteral("TMUX")).split(u',');
    const QString pane = where.vars.value(QStringLiteral("TMUX_PANE"));
    static const QRegularExpression paneId(QStringLiteral("^%[0-9]+$"));
    if (parts.size() < 2 || !parts.front().startsWith(u'/') || !paneId.match(pane).hasMatch())
        return std::nullopt;
    return Tmux{parts.front(), parts.at(1).toLongLong(), pane};
}

JumpPlan::Command JumpPlan::tmuxQuery(const Tmux& tmux)
{
    return {QStringLiteral("tmux"),
            {QStringLiteral("-S"), tmux.socket, QStringLiteral("display"), QStringLiteral("-p"),
             QStringLiteral("-t"), tmux.pane,
             QStringLiteral("#{pid} #{pane_id} #{session_attached}#{window_active}#{pane_active} "
                            "#{window_index}.#{pane_index} #{session_name}"),
             QStringLiteral(";"), QStringLiteral("list-clients"), QStringLiteral("-F"),
             QStringLiteral("#{client_activity} #{client_pid} #{client_tty} #{client_control_mode} "
                            "#{client_session}")}};
}

JumpPlan::TmuxAnswer JumpPlan::parseTmux(const QByteArray& out, const Tmux& tmux)
{
    TmuxAnswer answer;
    const QList<QByteArray> lines = out.split('\n');
    // tmux answers 0 for a pane that is gone, and prints nothing for it.
    const QList<QByteArray> pane = lines.value(0).split(' ');
    if (pane.size() < 5 || pane.at(1) != tmux.pane.toUtf8() ||
        (tmux.serverPid > 0 && pane.at(0).toLongLong() != tmux.serverPid))
        return answer;
    answer.gone = false;
    answer.session = QString::fromUtf8(after(lines.value(0), 4));
    answer.target = answer.session + u':' + QString::fromUtf8(pane.at(3));
    answer.active = !pane.at(2).startsWith('0') && pane.at(2).endsWith("11");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines.at(i).split(' ');
        if (f.size() < 5 || f.at(3) == "1" || !f.at(2).startsWith('/'))
            continue;
        answer.clients.append({f.at(0).toLongLong(), QString::fromUtf8(after(lines.at(i), 4)),
                               QString::fromUtf8(f.at(2)), f.at(1).toLongLong()});
    }
    std::stable_sort(answer.clients.begin(), answer.clients.end(),
                     [](const TmuxClient& a, const TmuxClient& b) { return a.activity > b.activity; });
    return answer;
}

JumpPlan::TmuxMove JumpPlan::tmuxMove(const Tmux& tmux, const TmuxAnswer& answer)
{
    TmuxMove move;
    if (answer.gone || answer.clients.isEmpty())
        return move;
    const auto onSession = std::find_if(answer.clients.begin(), answer.clients.end(),
                                        [&](const TmuxClient& c) { return c.session == answer.session; });
    const QStringList socket{QStringLiteral("-S"), tmux.socket};
    if (onSession != answer.clients.end()) {
        move.client = *onSession;
        move.command =
            Command{QStringLiteral("tmux"),
                    socket + QStringList{QStringLiteral("select-window"), QStringLiteral("-t"), tmux.pane,
                                         QStringLiteral(";"), QStringLiteral("select-pane"),
                                         QStringLiteral("-t"), tmux.pane}};
    } else {
        move.client = answer.clients.front();
        move.command = Command{QStringLiteral("tmux"),
                               socket + QStringList{QStringLiteral("switch-client"), QStringLiteral("-c"),
                                                    move.client->tty, QStringLiteral("-t"), tmux.pane}};
    }
    return move;
}

JumpPlan::Command JumpPlan::tmuxPanes(const QStringList& server)
{
    return {QStringLiteral("tmux"),
            server + QStringList{QStringLiteral("list-panes"), QStringLiteral("-a"), QStringLiteral("-F"),
                                 QStringLiteral("#{pane_tty} #{pane_id} #{pid} #{socket_path}")}};
}

QStringList JumpPlan::tmuxServer(const QByteArray& cmdline)
{
    const QList<QByteArray> args = cmdline.split('\0');
    QStringList server;
    // tmux's options stand before its command, clustered as getopt allows; these take a value.
    const QByteArray valued = "cfLST";
    for (qsizetype i = 1; i < args.size() && args.at(i).startsWith('-') && args.at(i) != "--"; ++i) {
        const QByteArray option = args.at(i);
        for (qsizetype k = 1; k < option.size(); ++k) {
            if (!valued.contains(option.at(k)))
                continue;
            const QString value =
                QString::fromLocal8Bit(k + 1 < option.size() ? option.mid(k + 1) : args.value(++i));
            if (option.at(k) == 'L' || (option.at(k) == 'S' && value.startsWith(u'/')))
                server = {QStringLiteral("-") + QLatin1Char(option.at(k)), value};
            break;
        }
    }
    return server;
}

std::optional<JumpPlan::Tmux> JumpPlan::paneOnTty(const QByteArray& out, const QString& tty)
{
    if (tty.isEmpty())
        return std::nullopt;
    const QByteArray device = "/dev/" + tty.toUtf8();
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() < 4 || f.at(0) != device)
            continue;
        StateRecord::Where where;
        where.vars.insert(QStringLiteral("TMUX"),
                          QString::fromUtf8(after(line, 3)) + u',' + QString::fromUtf8(f.at(2)));
        where.vars.insert(QStringLiteral("TMUX_PANE"), QString::fromUtf8(f.at(1)));
        return tmuxOf(where);
    }
    return std::nullopt;
}

QList<JumpPlan::Command> JumpPlan::editor(const StateRecord& record)
{
    const QString folder = record.workspaceKey();
    const StateRecord::Where where = record.where.value_or(StateRecord::Where{});
    const bool inEditor =
        where.vars.value(QStringLiteral("TERM_PROGRAM")) == u"vscode" || record.agent == u"cursor";
    if (folder.isEmpty() || !inEditor)
        return {};
    // VS Code and Cursor both say "vscode"; the askpass helper lies inside the editor's own folder.
    const QString askpass = where.vars.value(QStringLiteral("VSCODE_GIT_ASKPASS_NODE"));
    QString name = QStringLiteral("code");
    if (record.agent == u"cursor" || where.vars.contains(QStringLiteral("CURSOR_TRACE_ID")) ||
        askpass.contains(QStringLiteral("cursor"), Qt::CaseInsensitive))
        name = QStringLiteral("cursor");
    else if (askpass.contains(QStringLiteral("codium"), Qt::CaseInsensitive))
        name = QStringLiteral("codium");
    QList<Command> commands;
    if (askpass.startsWith(u'/'))
        commands.append({QFileInfo(askpass).path() + QStringLiteral("/bin/") + name, {folder}});
    commands.append({name, {folder}});
    return commands;
}

std::optional<JumpPlan::Command> JumpPlan::kitty(const StateRecord::Where& where)
{
    const QString to = where.vars.value(QStringLiteral("KITTY_LISTEN_ON"));
    const QString id = where.vars.value(QStringLiteral("KITTY_WINDOW_ID"));
    if (to.isEmpty() || id.isEmpty() || id.contains(u' '))
        return std::nullopt;
    return Command{QStringLiteral("kitten"),
                   {QStringLiteral("@"), QStringLiteral("--to"), to, QStringLiteral("focus-window"),
                    QStringLiteral("--match"), QStringLiteral("id:") + id}};
}

std::optional<JumpPlan::Command> JumpPlan::wezterm(const StateRecord::Where& where)
{
    const QString pane = where.vars.value(QStringLiteral("WEZTERM_PANE"));
    bool number = false;
    pane.toULongLong(&number);
    if (!number)
        return std::nullopt;
    QStringList args;
    if (const QString socket = where.vars.value(QStringLiteral("WEZTERM_UNIX_SOCKET")); !socket.isEmpty())
        args << QStringLiteral("WEZTERM_UNIX_SOCKET=") + socket;
    args << QStringLiteral("wezterm") << QStringLiteral("cli") << QStringLiteral("activate-pane")
         << QStringLiteral("--pane-id") << pane;
    return Command{QStringLiteral("env"), args};
}

JumpPlan::Command JumpPlan::sway(qint64 pid)
{
    return {QStringLiteral("swaymsg"), {QStringLiteral("[pid=%1] focus").arg(pid)}};
}

QString JumpPlan::kwinScript(const QList<qint64>& pids)
{
    QStringList list;
    for (qint64 pid : pids)
        list << QString::number(pid);
    return QStringLiteral(
               "var pids = [%1];\n"
               "var all = workspace.windowList ? workspace.windowList() : workspace.clientList();\n"
               "var done = false;\n"
               "for (var p = 0; p < pids.length && !done; ++p) {\n"
               "    for (var i = 0; i < all.length; ++i) {\n"
               "        var w = all[i];\n"
               "        if (w.pid !== pids[p] || !w.normalWindow) continue;\n"
               "        if (w.minimized) w.minimized = false;\n"
               "        if (workspace.windowList) workspace.activeWindow = w; else workspace.activeClient = "
               "w;\n"
               "        done = true;\n"
               "        break;\n"
               "    }\n"
               "}\n")
        .arg(list.join(QStringLiteral(", ")));
}

namespace {
const QString kScriptName = QStringLiteral("korvane-take-me-there");

QStringList kwinCall(const QString& path, const QString& method)
{
    return {QStringLiteral("--session"), QStringLiteral("--print-reply"),
            QStringLiteral("--dest=org.kde.KWin"), path, method};
}
} // namespace

JumpPlan::Command JumpPlan::kwinLoad(const QString& scriptFile)
{
    return {QStringLiteral("dbus-send"),
            kwinCall(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting.loadScript")) +
                QStringList{QStringLiteral("string:") + scriptFile, QStringLiteral("string:") + kScriptName}};
}

JumpPlan::Command JumpPlan::kwinRun(const QByteArray& loadAnswer)
{
    static const QRegularExpression id(QStringLiteral("int32 (-?[0-9]+)"));
    const QRegularExpressionMatch m = id.match(QString::fromUtf8(loadAnswer));
    if (!m.hasMatch() || m.captured(1).startsWith(u'-'))
        return {};
    return {QStringLiteral("dbus-send"), kwinCall(QStringLiteral("/Scripting/Script") + m.captured(1),
                                                  QStringLiteral("org.kde.kwin.Script.run"))};
}

JumpPlan::Command JumpPlan::kwinUnload()
{
    return {QStringLiteral("dbus-send"),
            kwinCall(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting.unloadScript")) +
                QStringList{QStringLiteral("string:") + kScriptName}};
}

QString JumpPlan::ttyName(qint64 ttyNr)
{
    const qint64 major = (ttyNr >> 8) & 0xfff;
    const qint64 minor = (ttyNr & 0xff) | ((ttyNr >> 12) & 0xfff00);
    if (major >= 136 && major <= 143)
        return QStringLiteral("pts/%1").arg((major - 136) * 256 + minor);
    if (major == 4 && minor < 64 && ttyNr > 0)
        return QStringLiteral("tty%1").arg(minor);
    return {};
}

QString JumpPlan::sentence(const Description& d)
{
    QString text;
    if (!d.tmuxTarget.isEmpty())
        text = QStringLiteral("tmux ") + d.tmuxTarget;
    QString outer = !d.editor.isEmpty() ? d.editor : d.terminal;
    if (!d.title.isEmpty())
        outer += (outer.isEmpty() ? QString() : QStringLiteral(" ")) + u'\'' + d.title + u'\'';
    if (!outer.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" in ")) + outer;
    if (text.isEmpty())
        text = d.tty.isEmpty() ? QStringLiteral("a terminal Korvane cannot find")
                               : QStringLiteral("the terminal on ") + d.tty;
    if (d.desktop > 0)
        text += QStringLiteral(", desktop %1").arg(d.desktop);
    return text;
}

} // namespace korvane
