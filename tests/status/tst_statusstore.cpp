// The store on real folders: what a pass reads, skips, deletes and reads again,
// what it publishes, how the watcher and the timer keep it current, and how
// Claude Code's session registry overrides the hooks.

#include "FakeClock.h"
#include "TestMain.h"
#include "agents/claude-code/SessionRegistry.h"
#include "status/StatusStore.h"

#include <QDateTime>
#include <QDir>
#include <QSignalSpy>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <list>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace korvane;

namespace {

constexpr double kNow = 1'800'000'000.0;

QByteArray rec(const QByteArray& state, double age, const QByteArray& conv = "c",
               const QByteArray& agent = {})
{
    return "{\"state\":\"" + state + "\",\"ts\":" + QByteArray::number(kNow - age, 'f', 3) +
           ",\"workspace\":\"/p/w\",\"conversation_id\":\"" + conv + "\"" +
           (agent.isEmpty() ? "" : ",\"agent\":\"" + agent + '"') + "}";
}

QString describe(const StatusStore& s)
{
    QStringList out{rawValue(s.state())};
    for (const WindowStatus& r : s.tabs())
        out << r.name + u'|' + rawValue(r.state) + u'|' + QString::number(kNow - r.lastActivity);
    return out.join(u' ');
}

// "~/x" is x in the home folder, anything else a name in the state directory.
QByteArray native(const QByteArray& name)
{
    return QFile::encodeName(QDir::homePath()) +
           (name.startsWith("~/") ? name.mid(1) : "/.cursor/signalwick/state/" + name);
}

// Written aside and renamed into place, as the hook does.
bool put(const QByteArray& name, const QByteArray& content)
{
    QFile f(QFile::decodeName(native(name) + ".tmp"));
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size() && f.flush() &&
           ::rename(QFile::encodeName(f.fileName()).constData(), native(name).constData()) == 0;
}

QByteArray procStat(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A registry entry for conversation "c" whose status changed `age` seconds ago:
// of this process ("self"), of one that has exited ("gone"), of one that has
// exited but is not reaped yet ("zombie"), or of this pid with another start
// time ("reused").
QByteArray session(const QByteArray& process, const QByteArray& status, double age)
{
    const pid_t pid = process == "gone" || process == "zombie" ? ::fork() : ::getpid();
    if (pid == 0)
        ::_exit(0);
    if (process == "gone")
        ::waitpid(pid, nullptr, 0);
    QByteArray stat = procStat(process == "gone" ? ::getpid() : pid);
    for (int i = 0; process == "zombie" && stat.at(stat.lastIndexOf(')') + 2) != 'Z' && i < 400; ++i) {
        QThread::msleep(5);
        stat = procStat(pid);
    }
    const QByteArray start = stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(19);
    return "{\"pid\":" + QByteArray::number(pid) + R"(,"sessionId":"c","cwd":"/p/w","procStart":")" +
           (process == "reused" ? "1" : start) + R"(","version":"2.1.328","kind":"interactive","status":")" +
           status + R"(","statusUpdatedAt":)" + QByteArray::number((kNow - age) * 1000, 'f', 0) + "}";
}

// A Codex session log: a line of conversation, then "kind:turn" events, each a
// line, the last one unterminated when its kind is "half".
QByteArray rollout(const QList<QByteArray>& events)
{
    QByteArray log = R"({"type":"response_item","payload":{"type":"task_complete","turn_id":"t1"}})";
    for (const QByteArray& e : events) {
        const QByteArray kind = e.split(':')[0];
        const QByteArray type = kind == "start"   ? "task_started"
                                : kind == "abort" ? "turn_aborted"
                                                  : "task_complete";
        log += "\n"
               R"({"type":"event_msg","payload":{"type":")" +
               type + R"(","turn_id":")" + e.split(':')[1] + R"(","error":)" +
               (kind == "done" ? "null" : R"({"message":"x"})") + "}}";
    }
    return log + (events.last().startsWith("half") ? "" : "\n");
}

// A Gemini chat log: a message a type (user, gemini, error, info; "cancelled" is
// the info of an Esc), each after a line that rewrites the list.
QByteArray chat(const QList<QByteArray>& types)
{
    QByteArray log;
    for (const QByteArray& t : types)
        log += R"({"$set":{"messages":[{"id":"0","type":"error"}]}})"
               "\n"
               R"({"id":"1","type":")" +
               (t == "cancelled" ? "info" : t) + R"(","content":")" +
               (t == "cancelled" ? "Request cancelled." : "x") + "\"}\n";
    return log;
}

// A Copilot CLI event log: "kind:age" events (approved, denied, abort, prompt), each a line.
QByteArray events(const QList<QByteArray>& list)
{
    QByteArray log;
    for (const QByteArray& e : list) {
        const QByteArray kind = e.split(':')[0];
        const QByteArray at =
            QDateTime::fromMSecsSinceEpoch(qint64((kNow - e.split(':')[1].toDouble()) * 1000))
                .toUTC()
                .toString(Qt::ISODateWithMs)
                .toUtf8();
        const QByteArray type = kind == "abort"    ? "abort"
                                : kind == "prompt" ? "user.message"
                                                   : "permission.completed";
        log += R"({"type":")" + type + R"(","data":{"result":{"kind":")" + kind + R"("}},"timestamp":")" +
               at + "\"}\n";
    }
    return log;
}

// Turns the event loop a few times without waiting: what the watcher has
// reported is handled, and no timer of the store comes due meanwhile.
void turnLoop()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// Process 42 runs, started at tick 100; of 7 nothing can be told (as without /proc); no other runs.
class Processes final : public ProcessTable {
public:
    std::optional<bool> isRunning(qint64 pid, const QByteArray& start) const override
    {
        return pid == 7 ? std::nullopt : std::optional(pid == 42 && start == "100");
    }
};

void row(const char* name, const QByteArray& steps, const char* shown, const QByteArray& files = {})
{
    QTest::newRow(name) << steps << QString::fromUtf8(shown) << files;
}

} // namespace

class TestStatusStore : public QObject {
    Q_OBJECT

    test::FakeClock m_clock{kNow};
    Processes m_processes;

private Q_SLOTS:
    void init()
    {
        for (const char* p : {"~/.cursor", "~/.claude", "~/aside", "~/log.jsonl"})
            QFile::remove(QFile::decodeName(native(p))) ||
                QDir(QFile::decodeName(native(p))).removeRecursively();
        QVERIFY(QDir().mkpath(QFile::decodeName(native("~/.claude/sessions"))));
    }

    void scenario_data()
    {
        QTest::addColumn<QByteArray>("steps");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("files"); // that exist afterwards, "!" before those that must not
        const char *g = "idle w|idle|1", *both = "waiting w #1|idle|1 w #2|waiting|4";
        // Regular files (or links to them) up to 1 MiB only; nothing else opened; old records go.
        row("FIFO", "fifo x.json", g, "x.json");
        row("link to a FIFO", "fifo ~/aside; link x.json", g, "x.json");
        row("link to a state file is followed", "put ~/aside waiting 4 x; link x.json", both);
        row("1 MiB is read, a byte more is not", "pad x.json 1048576; pad y.json 1048577", both, "y.json");
        row("undecodable, however old", "cut x.json", g, "x.json");
        row("a day stays, more goes", "put x.json idle 86400; put y.json idle 86401", g, "x.json !y.json");
        // A store that has read a file before sees what a fresh store sees.
        const QByteArray was = "put x.json working 4 x; mtime x.json 9; pass; ";
        row("rewritten in place, same size", was + "inplace x.json waiting 4 x; mtime x.json 10", both);
        row("replaced by rename, same size and mtime", was + "put x.json waiting 4 x; mtime x.json 9", both);
        // Claude Code's registry: newer states win, a gone process ends it, the unexpected is ignored.
        const QByteArray cc = "put s.json idle 10 c claude-code; ";
        const char* hooks = "idle w #1|idle|10 w #2|idle|1";
        row("a newer busy entry", cc + "session self busy 2", "working w #1|working|2 w #2|idle|1", "s.json");
        row("an interrupt", "put s.json working 10 c claude-code; session self idle 2",
            "idle w #1|idle|2 w #2|idle|1");
        row("an entry older than the record", cc + "session self busy 20", hooks);
        row("its process is gone", cc + "session gone busy 2", g, "!s.json ~/.claude/sessions/1.json");
        row("its process has exited, not yet reaped", cc + "session zombie busy 2", g, "!s.json");
        row("its pid runs another process", cc + "session reused busy 2", g, "!s.json");
        row("unknown status word", cc + "session self thinking 2", hooks, "s.json");
        row("garbage", cc + "raw ~/.claude/sessions/1.json {\"pid\":", hooks);
        row("a FIFO", cc + "fifo ~/.claude/sessions/1.json", hooks);
        row("no folder", cc + "rm ~/.claude/sessions", hooks);
        row("a Cursor record", "put s.json idle 10 c cursor; session gone busy 2", hooks, "s.json");
        // A record that names its agent's process goes with it: a Codex CLI killed mid-turn.
        const char* runs = "working w #1|idle|1 w #2|working|4";
        row("its process runs", "proc x.json 42 100", runs, "x.json");
        row("its process is killed", "proc x.json 43 100", g, "!x.json");
        row("its pid runs another process", "proc x.json 42 99", g, "!x.json");
        row("cannot be told here", "proc x.json 7 100", runs, "x.json");
        // Codex CLI's session log ends a working turn that no hook ended; a log that cannot tell leaves it.
        const char* working = "working w #1|idle|1 w #2|working|4";
        row("failed turn", "codex x.json t1; log start:t1; pass; log start:t1 fail:t1",
            "idle w #1|idle|1 w #2|error|4");
        row("ended turn", "codex x.json t1; log fail:t0 start:t1 done:t1", "idle w #1|idle|1 w #2|idle|4");
        row("interrupted turn", "codex x.json t1; log start:t1 abort:t1", "idle w #1|idle|1 w #2|idle|4");
        row("turn runs", "codex x.json t1; log fail:t1 start:t2", working);
        row("another turn's end", "codex x.json t1; log start:t1 fail:t0", working);
        row("an end half written", "codex x.json t1; log start:t1 half:t1", working);
        row("log is a FIFO", "codex x.json t1; fifo ~/log.jsonl", working);
        // Gemini CLI ends a failed turn and one cancelled alike; its chat log tells which.
        const char* failed = "idle w #1|idle|1 w #2|error|4";
        row("Gemini: cancelled", "gemini x.json; chat user gemini user cancelled",
            "idle w #1|idle|1 w #2|idle|4");
        row("Gemini: failed", "gemini x.json; chat user gemini user error info", failed);
        row("Gemini: nothing after the prompt", "gemini x.json; chat user cancelled user", failed);
        // Copilot CLI: no hook at an approval or a Ctrl+C; its event log counts when newer than the record.
        row("Copilot: approved", "copilot x.json waiting; events approved:2", working);
        row("Copilot: refused, with word for the model", "copilot x.json waiting; events denied:2", working);
        row("Copilot: Ctrl+C", "copilot x.json working; events approved:3 abort:2",
            "idle w #1|idle|1 w #2|idle|4");
        // A record of whole seconds: the next prompt within the second of a Ctrl+C.
        row("Copilot: Ctrl+C, then a prompt", "copilot x.json working; events abort:3.5 prompt:3.4", working);
        row("Copilot: Ctrl+C before the record", "copilot x.json working; events abort:6", working);
    }
    void scenario()
    {
        QFETCH(QByteArray, steps);
        StatusStore store(m_clock);
        store.setProcessTable(m_processes);
        QVERIFY(put("good.json", rec("idle", 1, "g")));
        // A writer blocked opening a FIFO goes on only once someone opens it to read.
        std::atomic<int> opened{0};
        std::list<std::pair<std::thread, QByteArray>> writers;
        for (const QByteArray& step : steps.split(';')) {
            const QList<QByteArray> w = step.trimmed().split(' ');
            const QByteArray path = native(w.value(1));
            QFile file(QFile::decodeName(path));
            const timespec times[2] = {{w.value(2).toLong(), 0}, {w.value(2).toLong(), 0}};
            if (w[0] == "put")
                QVERIFY(put(w[1], rec(w[2], w[3].toDouble(), w.value(4), w.value(5))));
            else if (w[0] == "inplace")
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                        file.write(rec(w[2], w[3].toDouble(), w[4])) > 0);
            else if (w[0] == "pad")
                QVERIFY(put(w[1], rec("waiting", 4, "x").leftJustified(w[2].toInt(), ' ')));
            else if (w[0] == "cut" || w[0] == "raw")
                QVERIFY(put(w[1], w[0] == "raw" ? w[2] : rec("idle", 200000).chopped(1)));
            else if (w[0] == "session" && w[1] != "self" && !SessionRegistry::kChecksProcesses)
                QSKIP("no process check here");
            else if (w[0] == "session")
                QVERIFY(put("~/.claude/sessions/1.json", session(w[1], w[2], w[3].toDouble())));
            else if (w[0] == "proc")
                QVERIFY(put(w[1], rec("working", 4, "x", "codex").chopped(1) + ",\"pid\":" + w[2] +
                                      ",\"proc_start\":\"" + w[3] + "\"}"));
            else if (w[0] == "codex")
                QVERIFY(put(w[1], rec("working", 4, "x", "codex").chopped(1) + ",\"turn_id\":\"" + w[2] +
                                      "\",\"transcript_path\":\"" + native("~/log.jsonl") + "\"}"));
            else if (w[0] == "gemini")
                QVERIFY(put(w[1], rec("error", 4, "x", "gemini").chopped(1) + ",\"transcript_path\":\"" +
                                      native("~/log.jsonl") + "\"}"));
            else if (w[0] == "copilot")
                QVERIFY(put(w[1], rec(w[2], 4, "x", "copilot").chopped(1) + ",\"transcript_path\":\"" +
                                      native("~/log.jsonl") + "\"}"));
            else if (w[0] == "log" || w[0] == "chat" || w[0] == "events") {
                QFile log(QFile::decodeName(native("~/log.jsonl")));
                QVERIFY(log.open(QIODevice::WriteOnly) && log.write(w[0] == "log"    ? rollout(w.mid(1))
                                                                    : w[0] == "chat" ? chat(w.mid(1))
                                                                                     : events(w.mid(1))) > 0);
            } else if (w[0] == "link")
                QCOMPARE(::symlink(native("~/aside").constData(), path.constData()), 0);
            else if (w[0] == "mtime")
                QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
            else if (w[0] == "rm")
                QVERIFY(file.remove() || QDir(file.fileName()).removeRecursively());
            else if (w[0] == "pass")
                store.refresh();
            else if (w[0] == "fifo" && ::mkfifo(path.constData(), 0600) == 0)
                writers.emplace_back(
                    [&opened, path] { opened += 1 + ::close(::open(path.constData(), O_WRONLY)); }, path);
        }
        QTest::qWait(writers.empty() ? 0 : 20); // the writers are in open()
        store.refresh();
        store.refresh();
        StatusStore fresh(m_clock);
        fresh.setProcessTable(m_processes);
        fresh.refresh();
        QTEST(describe(store), "shown");
        QCOMPARE(describe(store), describe(fresh));
        QFETCH(QByteArray, files);
        for (const QByteArray& f : files.split(' ')) {
            const bool absent = f.startsWith('!');
            QVERIFY2(f.isEmpty() || QFileInfo::exists(QFile::decodeName(native(f.mid(absent)))) != absent, f);
        }
        QCOMPARE(opened.load(), 0);
        for (auto& [thread, fifo] : writers) {
            const int release = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
            thread.join();
            ::close(release);
        }
    }

    // A pass that finds what the last one found publishes nothing; a pass that
    // changes any of the three values publishes once, a failed listing too.
    void publishesChangesOnly()
    {
        StatusStore store(m_clock);
        QSignalSpy changes(&store, &StatusStore::changed);
        QVERIFY(put("a.json", rec("pending", 0)));
        for (int i = 0; i < 20; ++i, m_clock.advance(0.25)) // ages move, but cross no limit until 6 s
            store.refresh();
        QCOMPARE(changes.count(), 1);
        m_clock.advance(2);
        store.refresh();
        QVERIFY(QDir(QFile::decodeName(native({}))).removeRecursively());
        store.refresh();
        store.refresh();
        QCOMPARE(changes.count(), 3);
        QCOMPARE(describe(store), QStringLiteral("unknown"));
        m_clock.set(kNow);
    }

    // Each step of the hook (the record written aside in the folder, then
    // renamed) is read as the watcher reports it, without waiting for a timer;
    // a burst makes fewer passes than events; a directory that was removed and
    // made again is found by the timer.
    void watcherAndTimer()
    {
        StatusStore store(m_clock);
        store.start();
        QSignalSpy changes(&store, &StatusStore::changed);
        QFile aside(QFile::decodeName(native("1-a.tmp")));
        QVERIFY(aside.open(QIODevice::WriteOnly) && aside.write(rec("working", 0, "a")) > 0);
        aside.close();
        turnLoop();
        QVERIFY(aside.rename(QFile::decodeName(native("a.json"))));
        turnLoop();
        QCOMPARE(describe(store), QStringLiteral("working w|working|0"));

        changes.clear();
        for (int i = 0; i < 20; ++i) {
            QVERIFY(put("r" + QByteArray::number(i) + ".json", rec("working", 0, QByteArray::number(i))));
            turnLoop();
        }
        QTRY_COMPARE_WITH_TIMEOUT(store.tabs().size(), 21, 3000);
        QVERIFY2(changes.count() < 10, qPrintable(QString::number(changes.count())));

        QVERIFY(QDir(QFile::decodeName(native({}))).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(store.state(), AgentState::Unknown, 3000);
        QVERIFY(QDir().mkpath(QFile::decodeName(native({}))) && put("b.json", rec("idle", 1)));
        QTRY_COMPARE_WITH_TIMEOUT(describe(store), QStringLiteral("idle w|idle|1"), 3000);
        QTRY_VERIFY(store.isWatching());
    }

    // Claude Code rewrites its session file in place: read as the watcher reports it.
    void sessionRewrittenInPlace()
    {
        StatusStore store(m_clock); // makes the state folder
        QVERIFY(put("s.json", rec("working", 10, "c", "claude-code")));
        QVERIFY(put("~/.claude/sessions/1.json", session("self", "busy", 5)));
        store.start();
        QCOMPARE(describe(store), QStringLiteral("working w|working|5"));
        QFile f(QFile::decodeName(native("~/.claude/sessions/1.json")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                f.write(session("self", "idle", 1)) > 0);
        f.close();
        turnLoop();
        QCOMPARE(describe(store), QStringLiteral("idle w|idle|1"));
    }
};

KORVANE_TEST_MAIN(TestStatusStore)
#include "tst_statusstore.moc"
