// The store on real folders: what a pass reads, skips, deletes and reads again,
// what it publishes, how the watcher and the timer keep it current, and how
// Claude Code's session registry overrides the hooks.

#include "FakeClock.h"
#include "TestMain.h"
#include "status/SessionRegistry.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace korvane;

namespace {

constexpr double kNow = 1'800'000'000.0;

QByteArray rec(const char* state, double age, const char* conv = "c")
{
    return "{\"state\":\"" + QByteArray(state) + "\",\"ts\":" + QByteArray::number(kNow - age, 'f', 3) +
           ",\"workspace\":\"/p/w\",\"conversation_id\":\"" + conv + "\"}";
}

QString describe(const StatusStore& s)
{
    QStringList out{rawValue(s.state())};
    for (const WindowStatus& r : s.tabs())
        out << r.name + u'|' + rawValue(r.state) + u'|' + QString::number(kNow - r.lastActivity);
    return out.join(u' ');
}

QByteArray native(const QString& name)
{
    return QFile::encodeName(QDir::homePath() + QStringLiteral("/.cursor/signalwick/state/") + name);
}

// Written aside and renamed into place, as the hook does.
bool put(const QString& name, const QByteArray& content)
{
    QFile f(QFile::decodeName(native(name) + ".tmp"));
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size() && f.flush() &&
           ::rename(QFile::encodeName(f.fileName()).constData(), native(name).constData()) == 0;
}

bool setMtime(const QString& name, time_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimensat(AT_FDCWD, native(name).constData(), times, 0) == 0;
}

// A registry entry for conversation "c" whose status changed `age` seconds ago:
// of this process (0), of a process that has exited (1), or of this pid with
// another start time (2).
QByteArray session(int process, const char* status, double age)
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    const QByteArray self = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QByteArray start = self.mid(self.lastIndexOf(')') + 2).split(' ').value(19);
    qint64 pid = ::getpid();
    if (process == 1 && (pid = ::fork()) == 0)
        ::_exit(0);
    if (process == 1)
        ::waitpid(pid_t(pid), nullptr, 0);
    return "{\"pid\":" + QByteArray::number(pid) + R"(,"sessionId":"c","cwd":"/p/w","procStart":")" +
           (process == 2 ? "1" : start) + R"(","version":"2.1.328","kind":"interactive","status":")" +
           status + R"(","statusUpdatedAt":)" + QByteArray::number((kNow - age) * 1000, 'f', 0) + "}";
}

enum class Entry { Fifo, LinkToFifo, LinkToFile, OneMiB, OverOneMiB, Undecodable, Aged, Expired };
enum class Change { InPlaceSameSize, RenamedSameSizeAndTime, Deleted, BecomesFifo };

} // namespace

class TestStatusStore : public QObject {
    Q_OBJECT

    test::FakeClock m_clock{kNow};

private Q_SLOTS:
    void init()
    {
        for (const char* dir : {"/.cursor", "/.claude"})
            QDir(QDir::homePath() + QLatin1StringView(dir)).removeRecursively();
        QFile::remove(QDir::homePath() + QStringLiteral("/aside"));
    }

    void entries_data()
    {
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("kept");
        const QString good = QStringLiteral("idle w|idle|1");
        const QString both = QStringLiteral("waiting w #1|idle|1 w #2|waiting|4");
        QTest::newRow("FIFO") << Entry::Fifo << good << true;
        QTest::newRow("link to a FIFO") << Entry::LinkToFifo << good << true;
        QTest::newRow("link to a state file is followed") << Entry::LinkToFile << both << true;
        QTest::newRow("exactly 1 MiB is read") << Entry::OneMiB << both << true;
        QTest::newRow("one byte more is not") << Entry::OverOneMiB << good << true;
        QTest::newRow("undecodable, however old") << Entry::Undecodable << good << true;
        QTest::newRow("exactly 86400 s old stays, unseen") << Entry::Aged << good << true;
        QTest::newRow("86400.5 s old goes") << Entry::Expired << good << false;
    }
    // Only regular files (and links to them) up to 1 MiB are read; nothing else
    // is opened and nothing blocks. Only records older than a day are deleted.
    void entries()
    {
        QFETCH(Entry, entry);
        StatusStore store(m_clock);
        const QByteArray x = native(QStringLiteral("x.json"));
        const QByteArray aside = QFile::encodeName(QDir::homePath() + QStringLiteral("/aside"));
        // A writer blocked opening a FIFO goes on only once someone opens it to
        // read.
        std::atomic<bool> opened{false};
        std::thread writer;
        const QByteArray fifo = entry == Entry::Fifo ? x : aside;
        if (entry == Entry::Fifo || entry == Entry::LinkToFifo) {
            QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
            writer = std::thread([&] {
                ::close(::open(fifo.constData(), O_WRONLY));
                opened = true;
            });
        }
        QByteArray content = rec("waiting", 4, "x");
        if (entry == Entry::OneMiB || entry == Entry::OverOneMiB)
            content.append(QByteArray(
                StatusStore::kMaxStateFileSize + (entry == Entry::OverOneMiB) - content.size(), ' '));
        if (entry == Entry::Undecodable || entry == Entry::Aged || entry == Entry::Expired)
            content = entry == Entry::Undecodable ? rec("idle", 200000).chopped(1)
                                                  : rec("idle", entry == Entry::Aged ? 86400 : 86400.5);
        if (entry == Entry::LinkToFifo || entry == Entry::LinkToFile)
            QCOMPARE(::symlink(aside.constData(), x.constData()), 0);
        if (entry != Entry::Fifo && entry != Entry::LinkToFifo)
            QVERIFY(
                put(entry == Entry::LinkToFile ? QStringLiteral("../../../aside") : QStringLiteral("x.json"),
                    content));
        QVERIFY(put(QStringLiteral("good.json"), rec("idle", 1, "g")));
        QTest::qWait(20); // the writer is in open()
        for (int pass = 0; pass < 2; ++pass) {
            store.refresh();
            QTEST(describe(store), "shown");
        }
        struct stat st {};
        QTEST(::lstat(x.constData(), &st) == 0, "kept");
        if (writer.joinable()) {
            QTest::qWait(20);
            QVERIFY(!opened);
            const int release = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
            writer.join();
            ::close(release);
        }
    }

    void rereadsWhatChanged_data()
    {
        QTest::addColumn<Change>("change");
        QTest::newRow("rewritten in place, same size, later mtime") << Change::InPlaceSameSize;
        QTest::newRow("replaced by rename, same size and mtime") << Change::RenamedSameSizeAndTime;
        QTest::newRow("deleted") << Change::Deleted;
        QTest::newRow("replaced by a FIFO") << Change::BecomesFifo;
    }
    // A store that has read the directory before sees what a fresh store sees.
    void rereadsWhatChanged()
    {
        QFETCH(Change, change);
        StatusStore store(m_clock);
        const QString a = QStringLiteral("a.json");
        QVERIFY(put(a, rec("working", 10, "a")) && put(QStringLiteral("b.json"), rec("idle", 20, "b")));
        QVERIFY(setMtime(a, 1'000'000'000));
        store.refresh();
        QCOMPARE(describe(store), QStringLiteral("working w #1|working|10 w #2|idle|20"));
        QFile f(QFile::decodeName(native(a)));
        if (change == Change::InPlaceSameSize) {
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    f.write(rec("waiting", 10, "a")) > 0);
            f.close();
            QVERIFY(setMtime(a, 1'000'000'001));
        }
        if (change == Change::RenamedSameSizeAndTime)
            QVERIFY(put(a, rec("waiting", 10, "a")) && setMtime(a, 1'000'000'000));
        if (change == Change::Deleted || change == Change::BecomesFifo)
            QVERIFY(f.remove());
        if (change == Change::BecomesFifo)
            QCOMPARE(::mkfifo(native(a).constData(), 0600), 0);
        store.refresh();
        StatusStore fresh(m_clock);
        fresh.refresh();
        QCOMPARE(describe(store), describe(fresh));
        QVERIFY(describe(store).startsWith(QStringLiteral("waiting")) != (change >= Change::Deleted));
    }

    // A pass that finds what the last one found publishes nothing; a changed
    // pass publishes tabs, windows, state; a failed listing state, windows, tabs.
    void publishesChangesOnly()
    {
        StatusStore store(m_clock);
        QStringList events;
        connect(&store, &StatusStore::tabsChanged, this, [&] { events << QStringLiteral("tabs"); });
        connect(&store, &StatusStore::windowsChanged, this, [&] { events << QStringLiteral("windows"); });
        connect(&store, &StatusStore::stateChanged, this, [&] { events << QStringLiteral("state"); });
        QSignalSpy changed(&store, &StatusStore::changed);
        QVERIFY(put(QStringLiteral("a.json"), rec("pending", 0)));
        for (int i = 0; i < 20; ++i, m_clock.advance(0.25)) // ages move, but cross no limit until 6 s
            store.refresh();
        QCOMPARE(events.join(u' '), QStringLiteral("tabs windows state"));
        m_clock.advance(2);
        store.refresh();
        QVERIFY(QDir(QFile::decodeName(native({}))).removeRecursively());
        store.refresh();
        store.refresh();
        QCOMPARE(events.join(u' '),
                 QStringLiteral("tabs windows state tabs windows state state windows tabs"));
        QCOMPARE(changed.count(), events.size());
        m_clock.set(kNow);
    }

    // New files arrive through the watcher, a burst of them in few passes; a
    // directory that was removed and made again is found by the timer.
    void watcherAndTimer()
    {
        StatusStore store(m_clock);
        store.start();
        QVERIFY(store.isWatching());
        QSignalSpy tabs(&store, &StatusStore::tabsChanged);
        QElapsedTimer took;
        took.start();
        for (int i = 0; i < 40; ++i)
            QVERIFY(
                put(QStringLiteral("r%1.json").arg(i), rec("working", 0, qPrintable(QString::number(i)))));
        QTRY_COMPARE_WITH_TIMEOUT(store.tabs().size(), 40, 3000);
        QVERIFY2(took.elapsed() < 700 && tabs.count() <= 5, qPrintable(QString::number(took.elapsed())));

        QVERIFY(QDir(QFile::decodeName(native({}))).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(store.state(), AgentState::Unknown, 3000);
        QVERIFY(QDir().mkpath(QFile::decodeName(native({}))) &&
                put(QStringLiteral("b.json"), rec("idle", 1)));
        QTRY_COMPARE_WITH_TIMEOUT(describe(store), QStringLiteral("idle w|idle|1"), 3000);
        QTRY_VERIFY(store.isWatching());
    }

    void registry_data()
    {
        QTest::addColumn<QByteArray>("record");  // state and "agent"
        QTest::addColumn<QByteArray>("session"); // the registry file, "FIFO", or empty for no folder
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("kept");
        const QByteArray cc = "idle claude-code";
        const QString hooks = QStringLiteral("idle w|idle|10");
        QTest::newRow("a newer busy entry is working")
            << cc << session(0, "busy", 2) << "working w|working|2" << true;
        QTest::newRow("an interrupt: idle over working")
            << QByteArray("working claude-code") << session(0, "idle", 2) << "idle w|idle|2" << true;
        QTest::newRow("an entry older than the record") << cc << session(0, "busy", 20) << hooks << true;
        QTest::newRow("its process is gone") << cc << session(1, "busy", 2) << "unknown" << false;
        QTest::newRow("its pid runs another process") << cc << session(2, "busy", 2) << "unknown" << false;
        QTest::newRow("unknown status word") << cc << session(0, "thinking", 2) << hooks << true;
        QTest::newRow("garbage") << cc << QByteArray("{\"pid\":") << hooks << true;
        QTest::newRow("a FIFO") << cc << QByteArray("FIFO") << hooks << true;
        QTest::newRow("no folder") << cc << QByteArray() << hooks << true;
        QTest::newRow("a Cursor record")
            << QByteArray("idle cursor") << session(0, "busy", 2) << hooks << true;
    }
    // Claude Code's own session list overrides older records of its conversations
    // and ends those whose process is gone; anything unexpected leaves the hooks
    // alone.
    void registry()
    {
        QFETCH(QByteArray, record);
        QFETCH(QByteArray, session);
        QFETCH(bool, kept);
        if (!kept && !SessionRegistry::kChecksProcesses)
            QSKIP("no process check here");
        StatusStore store(m_clock);
        const QList<QByteArray> words = record.split(' ');
        QByteArray content = rec(words[0].constData(), 10);
        if (words.size() > 1)
            content.insert(1, "\"agent\":\"" + words[1] + "\",");
        QVERIFY(put(QStringLiteral("s.json"), content));
        const QString dir = QDir::homePath() + QStringLiteral("/.claude/sessions");
        const QByteArray file = QFile::encodeName(dir + QStringLiteral("/4242.json"));
        QVERIFY(session.isEmpty() || QDir().mkpath(dir));
        if (session == "FIFO")
            QCOMPARE(::mkfifo(file.constData(), 0600), 0);
        else if (!session.isEmpty())
            QVERIFY(put(QStringLiteral("../../../.claude/sessions/4242.json"), session));
        store.refresh();
        QTEST(describe(store), "shown");
        QTEST(QFile::exists(QFile::decodeName(native(QStringLiteral("s.json")))), "kept");
        QVERIFY(session.isEmpty() || QFileInfo::exists(QFile::decodeName(file)));
    }
};

KORVANE_TEST_MAIN(TestStatusStore)
#include "tst_statusstore.moc"
