// The hook script as the agents run it: a payload in, the answer the
// tool expects out, and the state record it leaves, read with the store's decoder.

#include "TestMain.h"
#include "agents/AgentList.h"
#include "status/StateRecord.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace korvane;
using nlohmann::json;

namespace {

// A shell, and the awk that is the only one on the script's PATH.
using Runner = std::array<const char*, 3>; // name, shell, awk
const QList<Runner> kShells = {
    {"dash", "dash", "awk"}, {"bash", "bash", "awk"}, {"busybox", "busybox", "awk"}};
// The awks differ in splitting and matching, which only the parser rows exercise.
const QList<Runner> kAll =
    kShells + QList<Runner>{{"busybox-awk", "dash", "busybox"}, {"bwk-awk", "dash", "original-awk"}};
const QList<Runner> kNode = {{"node", "node", "awk"}}; // runs the plugin of the agent named as argument

struct Case {
    QByteArray payload, out; // out: the whole of standard output
    QString state;           // "" nothing changes, "-" the conversation's file is removed
    QString conv, ws;        // conversation_id and workspace written
    json env;                // "self" stands for this process's pid
    QString pid = {};        // the agent's process recorded: "self", "parent" (which ran the hook) or none
    bool terminal = false;   // the hook runs under a process on a terminal of its own, through a shell
    QString arg, agent; // the script's argument (none for entries of earlier versions), the agent recorded
    QString before;     // the conversation's state already recorded, if any
    json where = json::object(); // the variables recorded of where the agent runs
};

QByteArray dump(const json& j)
{
    return QByteArray::fromStdString(j.dump(-1, ' ', false, json::error_handler_t::replace)) + '\n';
}

json readJson(const QString& name)
{
    const QByteArray bytes = test::contentsOf(KORVANE_HOOK_TEST_DATA "/" + name);
    return json::parse(bytes.constBegin(), bytes.constEnd());
}

// The members every event of the tool carries.
json base(bool cursor, const std::string& event)
{
    json p = json::parse(
        cursor ? R"({"conversation_id":"c0a1b2c3-0000-4000-8000-00000000c0de","cursor_version":"3.1.7",
                                      "workspace_roots":["/home/user/cursor-project"]})"
               : R"({"session_id":"5e55a0b1-1111-4222-8333-944455556666","cwd":"/home/user/project"})");
    p["hook_event_name"] = event;
    return p;
}

void addRows(const QList<Runner>& runners, const QString& name, const Case& c)
{
    for (const Runner& r : runners)
        QTest::addRow("%s/%s", r[0], qPrintable(name)) << r << c;
}

} // namespace

Q_DECLARE_METATYPE(Case)
Q_DECLARE_METATYPE(Runner)

class TestHookScript : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_script;

    // Exit status, standard output, standard error and the pid of the process started.
    std::tuple<int, QByteArray, QByteArray, qint64> run(const Runner& r, const QString& home,
                                                        const QByteArray& input,
                                                        const json& env = json::object(),
                                                        const QString& arg = {}, bool terminal = false) const
    {
        QTemporaryDir bin; // the only programs the script may use
        for (const char* tool : {"mkdir", "mv", "rm", "cat", r[2]})
            QFile::link(QStandardPaths::findExecutable(tool), bin.filePath(tool == r[2] ? "awk" : tool));
        json vars = {{"HOME", home.toStdString()}, {"PATH", bin.path().toStdString()}, {"LANG", "C.UTF-8"}};
        vars.update(env);
        QProcessEnvironment pe;
        for (const auto& [key, value] : vars.items())
            pe.insert(QString::fromStdString(key),
                      value == "self" ? QString::number(::getpid()) : QString::fromStdString(value));
        QProcess p;
        p.setProcessEnvironment(pe);
        p.setWorkingDirectory(home);
        QString program = QStandardPaths::findExecutable(r[1]);
        QStringList args = qstrcmp(r[1], "busybox") ? QStringList{m_script} : QStringList{"sh", m_script};
        if (r == kNode.first()) // the agent's plugin, loaded as its client loads it
            args = QStringList{KORVANE_SOURCE_DIR "/tests/hooks/plugin-host.mjs", m_dir.filePath(arg)};
        else if (!arg.isEmpty())
            args << arg;
        const int pty = terminal ? ::posix_openpt(O_RDWR | O_NOCTTY) : -1;
        if (terminal) { // awk on a terminal of its own runs the hook through sh, as Claude Code does
            if (pty < 0 || ::grantpt(pty) != 0 || ::unlockpt(pty) != 0)
                return {-1, {}, {}, 0};
            args = QStringList{"BEGIN { exit system(ARGV[1]) }", program + ' ' + args.join(' ')};
            program = QStandardPaths::findExecutable("awk");
            p.setChildProcessModifier([tty = QByteArray(::ptsname(pty))] {
                ::setsid();
                ::open(tty.constData(), O_RDWR); // the controlling terminal of the new session
            });
        }
        p.start(program, args);
        const qint64 pid = p.processId();
        p.write(input);
        p.closeWriteChannel();
        const bool done = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
        if (pty >= 0)
            ::close(pty);
        return {done ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError(), pid};
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The script under test is the one compiled into the program.
        m_script = m_dir.filePath("signalwick.sh");
        QVERIFY(QFile::copy(":/hooks/signalwick.sh", m_script));
        for (const Agent* agent : AgentList::all()) // and so are the plugins
            QVERIFY(agent->plugin().isEmpty() || QFile::copy(agent->plugin(), m_dir.filePath(agent->id())));
        // The hook takes a process on a terminal for its agent: none here but the rows' own.
        if (const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY); tty >= 0)
            ::ioctl(tty, TIOCNOTTY), ::close(tty);
    }

    void events_data()
    {
        QTest::addColumn<Runner>("runner");
        QTest::addColumn<Case>("c");
        // Every payload captured from the real clients, by event (or by name, where they differ:
        // Gemini CLI ends a failed turn with no text at all; "env": what the client sets for its
        // hooks), under the entry Korvane writes
        // (the agent's id as the argument) and under one of an earlier version (none).
        const json states = readJson("fixture-states.json");
        for (const auto& [tool, stateOf] : states.items()) {
            const QString folder = QString::fromStdString(tool) + '/';
            for (const QString& name :
                 QDir(KORVANE_HOOK_TEST_DATA "/" + folder).entryList({"*.json"}, QDir::Files)) {
                const json p = readJson(folder + name);
                const std::string state =
                    stateOf.value(name.toStdString(), stateOf.value(p["hook_event_name"], "?"));
                const bool plugin = !AgentList::find(QString::fromStdString(tool))->plugin().isEmpty();
                for (const QString& arg : plugin ? QStringList{QString::fromStdString(tool)}
                                                 : QStringList{QString::fromStdString(tool), QString()})
                    addRows(plugin ? kNode : kShells, folder + name + (arg.isEmpty() ? " (no argument)" : ""),
                            {test::contentsOf(KORVANE_HOOK_TEST_DATA "/" + folder + name), "",
                             QString::fromStdString(state),
                             QString::fromStdString(p.value("session_id", p.value("sessionId", ""))),
                             QString::fromStdString(p["cwd"]), stateOf.value("env", json::object()),
                             QString::fromStdString(stateOf.value("pid", "")), false, arg,
                             QString::fromStdString(tool), QString()});
            }
        }
        // The plugins through captured events in one conversation, in the process of the agent.
        for (json c : readJson("plugin-turns.json")) {
            const std::string agent = c["agent"];
            for (json& e : c["events"])
                if (e != "dispose")
                    (e = readJson(QString::fromStdString(agent + '/' + e.get<std::string>() +
                                                         ".json")))["properties"]["sessionID"] = "ses_0a1B";
            const QString id = QString::fromStdString(agent);
            addRows(kNode, QString::fromStdString(c["name"]),
                    {QByteArray::fromStdString(c["events"].dump()), "", QString::fromStdString(c["state"]),
                     "ses_0a1B", QString::fromStdString(c["ws"]), json::object(), "parent", false, id, id,
                     QString()});
        }
        // Written cases: "claude" or "cursor" names the event, "with" adds members, "arg" is the
        // script's argument, "agent" the agent recorded where the event's kind does not tell it.
        for (const json& c : readJson("script-cases.json")) {
            const bool cursor = c.contains("cursor");
            json p = c.contains("raw") ? json() : base(cursor, c.value(cursor ? "cursor" : "claude", ""));
            p.update(c.value("with", json::object()));
            if (c.contains("quotes"))
                p["tool_response"] = std::string(c["quotes"], '"');
            QByteArray payload = c.contains("raw") ? QByteArray::fromStdString(c["raw"]) : dump(p);
            if (c.value("latin1", false)) // bytes that are not UTF-8
                payload = QString::fromUtf8(payload).toLatin1();
            if (c.contains("form")) // as Cursor on Windows sends it
                payload = "\xEF\xBB\xBF" + QByteArray::fromStdString(p.dump(4)).replace("\n", "\r\n");
            const json ids = base(cursor, "");
            const std::string conv = ids.value(cursor ? "conversation_id" : "session_id", "");
            const std::string ws = cursor ? ids["workspace_roots"][0] : ids["cwd"];
            addRows(c.value("awks", false) ? kAll : kShells, QString::fromStdString(c["name"]),
                    {payload, QByteArray::fromStdString(c.value("out", "")),
                     QString::fromStdString(c["state"]), QString::fromStdString(c.value("conv", conv)),
                     QString::fromStdString(c.value("ws", ws)), c.value("env", json::object()),
                     QString::fromStdString(c.value("pid", "")), c.value("terminal", false),
                     QString::fromStdString(c.value("arg", "")),
                     QString::fromStdString(c.value("agent", cursor ? "cursor" : "claude-code")),
                     QString::fromStdString(c.value("before", "")), c.value("where", json::object())});
        }
    }
    void events()
    {
        QFETCH(Runner, runner);
        QFETCH(Case, c);
        QTemporaryDir home;
        const QString dir = home.path() + "/.cursor/signalwick/state/";
        // Less one: time(), which awk reads, runs on a clock some milliseconds behind.
        const double before = QDateTime::currentSecsSinceEpoch() - 1;
        if (!c.before.isEmpty()) {
            QFile prior(dir + c.conv + ".json");
            QVERIFY(QDir().mkpath(dir) && prior.open(QIODevice::WriteOnly));
            prior.write(QStringLiteral(
                            R"({"state":"%1","ts":%2,"workspace":"%3","conversation_id":"%4","agent":"%5"})")
                            .arg(c.before, QString::number(before + 1, 'f', 0), c.ws, c.conv, c.agent)
                            .toUtf8());
            prior.close();
            QVERIFY(prior.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
                    QFile::setPermissions(dir, QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner));
        }
        if (runner == kNode.first() && QStandardPaths::findExecutable("node").isEmpty())
            QSKIP("node is not installed");
        const auto [rc, out, err, parent] = run(runner, home.path(), c.payload, c.env, c.arg, c.terminal);
        QCOMPARE(rc, 0);
        QCOMPARE(out, c.out);
        QCOMPARE(err, QByteArray());
        QStringList files; // anywhere in the home
        for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();)
            files << it.next();
        // Nothing written, where the event changes nothing or ends the conversation
        // (conversationIds sees the end remove the file).
        if (c.state.isEmpty() || c.state == "-") {
            QCOMPARE(files, QStringList());
            return;
        }
        QCOMPARE(files.size(), 1);
        QVERIFY2(files.first().startsWith(dir) && files.first().endsWith(".json"), qPrintable(files.first()));
        const QByteArray text = test::contentsOf(files.first());
        const auto record = StateRecord::decode(text);
        QVERIFY2(record, text.constData());
        QCOMPARE(record->state, c.state);
        QVERIFY2(record->ts >= before && record->ts <= QDateTime::currentSecsSinceEpoch() + 1,
                 text.constData());
        QCOMPARE(record->conversationId, std::optional(c.conv));
        QCOMPARE(record->workspace, std::optional(c.ws));
        QVERIFY2(text.contains("\"agent\":\"" + c.agent.toUtf8() + '"'), text.constData());
        // The session log where Korvane reads how a Codex turn or a Gemini turn without text ended.
        if (c.agent == "codex" || c.agent == "gemini") {
            const json p = json::parse(c.payload.constData());
            const bool turn = p.contains("turn_id"), log = turn || c.state == "error";
            QCOMPARE(record->turnId,
                     turn ? std::optional(QString::fromStdString(p["turn_id"])) : std::nullopt);
            QCOMPARE(record->transcriptPath,
                     log ? std::optional(QString::fromStdString(p["transcript_path"])) : std::nullopt);
        }
        const qint64 pid = c.pid == "self" ? ::getpid() : c.pid == "parent" ? parent : 0;
        QCOMPARE(record->process ? record->process->pid : 0, pid);
        const QByteArray stat = test::contentsOf("/proc/self/stat");
        if (pid == ::getpid()) // started at field 22
            QCOMPARE(record->process->start, stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(19));
        // Where it runs: the walk starts at the agent and goes on above it; its terminal when it has one.
        const StateRecord::Where where = record->where.value_or(StateRecord::Where{});
        json vars = json::object();
        for (auto it = where.vars.cbegin(); it != where.vars.cend(); ++it)
            vars[it.key().toStdString()] = it.value().toStdString();
        QCOMPARE(QByteArray::fromStdString(vars.dump()), QByteArray::fromStdString(c.where.dump()));
        if (pid) {
            QCOMPARE(where.chain.value(0).first, pid);
            QCOMPARE(where.chain.value(1).first, pid == ::getpid() ? ::getppid() : ::getpid());
            QCOMPARE(where.ttyNr != 0, c.terminal);
        }
        QCOMPARE(QFileInfo(files.first()).permissions() & 0x777, QFileDevice::Permissions(0x600));
        QCOMPARE(QFileInfo(dir).permissions() & 0x777, QFileDevice::Permissions(0x700));
    }

    // No conversation id can put a file outside the state folder, hide it, or
    // take the file of another id; a session's end removes its own file only.
    void conversationIds_data()
    {
        QTest::addColumn<Runner>("runner");
        for (const Runner& r : kAll)
            QTest::newRow(r[0]) << r;
    }
    void conversationIds()
    {
        QFETCH(Runner, runner);
        QTemporaryDir home;
        json ids = readJson("conversation-ids.json");
        for (const std::string& id :
             {std::string(5000, 'x'), std::string(5000, 'x') + "y", std::string(200, '/')})
            ids.push_back(id);
        QSet<QString> expected;
        QByteArray events; // the same ids for a plugin
        for (const json& id : ids) {
            json p = base(true, "afterFileEdit");
            p["conversation_id"] = id;
            QCOMPARE(std::get<1>(run(runner, home.path(), dump(p))), "{}\n");
            events += dump({{"session_id", id}, {"event", {{"type", "session_start"}}}});
            expected.insert(QString::fromStdString(id));
        }
        const auto seen = [&] {
            QSet<QString> found;
            for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QFileInfo f(it.next());
                const auto record = StateRecord::decode(test::contentsOf(f.filePath()));
                const bool placed = f.path() == home.path() + "/.cursor/signalwick/state" &&
                                    !f.fileName().startsWith('.') && f.fileName().endsWith(".json") &&
                                    f.fileName().size() <= 200;
                found.insert(placed && record ? record->conversationId.value_or("?")
                                              : "stray " + f.filePath());
            }
            return found;
        };
        QCOMPARE(seen(), expected);
        // The plugins name the files by the same rule.
        if (runner == kAll.first() && !QStandardPaths::findExecutable("node").isEmpty()) {
            json opened = json::array();
            for (const json& id : ids)
                opened.push_back({{"type", "session.status"},
                                  {"properties", {{"sessionID", id}, {"status", {{"type", "busy"}}}}}});
            for (const auto& [agent, input] :
                 {std::pair{"opencode", dump(opened)}, std::pair{"pi", events}}) {
                QTemporaryDir other;
                QCOMPARE(std::get<0>(run(kNode.first(), other.path(), input, json::object(), agent)), 0);
                const QString state = "/.cursor/signalwick/state";
                QCOMPARE(QDir(other.path() + state).entryList(QDir::Files | QDir::Hidden),
                         QDir(home.path() + state).entryList(QDir::Files | QDir::Hidden));
            }
        }
        json end = base(true, "sessionEnd");
        end["conversation_id"] = "a";
        QCOMPARE(std::get<0>(run(runner, home.path(), dump(end))), 0);
        expected.remove("a");
        QCOMPARE(seen(), expected);
    }
};

KORVANE_TEST_MAIN(TestHookScript)
#include "tst_hookscript.moc"
