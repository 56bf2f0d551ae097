// The store on a real state directory: what a pass reads, skips and deletes,
// what it publishes and in which order, and how the timer and the directory
// watcher keep it current.

#include "FakeClock.h"
#include "TestMain.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <algorithm>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
#include <sys/un.h>
#include <unistd.h>

using namespace korvane;
using korvane::test::FakeClock;

namespace {

constexpr double kNow = 1'800'000'000.0;

struct StateFileContent {
    QString name;
    QByteArray content;
};
using Files = QList<StateFileContent>;

// One state file as the hook writes it; a null workspace or conversation id
// leaves the member out.
QByteArray rec(const char* state, double age, const char* workspace = nullptr,
               const char* conversation = nullptr)
{
    QByteArray json =
        "{\"state\":\"" + QByteArray(state) + "\",\"ts\":" + QByteArray::number(kNow - age, 'f', 6);
    if (workspace)
        json += ",\"workspace\":\"" + QByteArray(workspace) + '"';
    if (conversation)
        json += ",\"conversation_id\":\"" + QByteArray(conversation) + '"';
    return json + "}\n";
}

QString describe(const WindowStatusList& rows, double now)
{
    QStringList out;
    for (const WindowStatus& r : rows)
        out << QStringLiteral("%1|%2|%3|%4")
                   .arg(r.id, r.name, rawValue(r.state), QString::number(now - r.lastActivity));
    return out.join(QStringLiteral(", "));
}

// Open file descriptors of this process.
int openDescriptors()
{
    QDir fds(QStringLiteral("/proc/self/fd"));
    if (!fds.exists())
        fds.setPath(QStringLiteral("/dev/fd"));
    return int(fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

bool exists(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Records the order in which the three values are published, and checks that
// each signal carries the value the store now holds.
class Recorder : public QObject {
public:
    explicit Recorder(StatusStore& store)
        : state(&store, &StatusStore::stateChanged), windows(&store, &StatusStore::windowsChanged),
          tabs(&store, &StatusStore::tabsChanged), changed(&store, &StatusStore::changed)
    {
        connect(&store, &StatusStore::stateChanged, this, [this, &store](AgentState s) {
            events << QStringLiteral("state");
            consistent = consistent && s == store.state();
        });
        connect(&store, &StatusStore::windowsChanged, this, [this, &store](const WindowStatusList& w) {
            events << QStringLiteral("windows");
            consistent = consistent && w == store.windows();
        });
        connect(&store, &StatusStore::tabsChanged, this, [this, &store](const WindowStatusList& t) {
            events << QStringLiteral("tabs");
            consistent = consistent && t == store.tabs();
        });
    }
    QStringList take()
    {
        QStringList out;
        out.swap(events);
        return out;
    }

    QSignalSpy state;
    QSignalSpy windows;
    QSignalSpy tabs;
    QSignalSpy changed;
    QStringList events;
    bool consistent = true;
};

enum class Entry {
    Fifo,
    Socket,
    LinkToFifo,
    LinkToDevice,
    Device,
    Directory,
    DanglingLink,
    LinkLoop,
    LinkToDirectory,
    LinkToRegularFile,
    TooLarge,
    Undecodable,
};

enum class Breakage { Removed, RenamedAway, ReplacedByFile, Unreadable };

} // namespace

Q_DECLARE_METATYPE(StateFileContent)
Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Breakage)

class TestStatusStore : public QObject {
    Q_OBJECT

    FakeClock m_clock{kNow};
    QString m_dir;

    QString path(const QString& name) const { return m_dir + QLatin1Char('/') + name; }

    // Written aside and renamed into place, as the hook does.
    void put(const QString& name, const QByteArray& content)
    {
        const QString tmp = path(QStringLiteral(".incoming.tmp"));
        QFile f(tmp);
        QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(f.errorString()));
        QCOMPARE(f.write(content), content.size());
        f.close();
        QCOMPARE(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path(name)).constData()), 0);
    }

    void removeStateDir()
    {
        QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(m_dir).removeRecursively();
        QFile::remove(m_dir);
        QDir(m_dir + QStringLiteral(".old")).removeRecursively();
    }

    QString tabsOf(const StatusStore& store) const { return describe(store.tabs(), m_clock.now()); }
    QString windowsOf(const StatusStore& store) const { return describe(store.windows(), m_clock.now()); }

private Q_SLOTS:
    void initTestCase()
    {
        m_dir = QDir::homePath() + QStringLiteral("/.cursor/signalwick/state");
        QVERIFY(m_dir.startsWith(QDir::tempPath())); // never the real home
    }

    void init()
    {
        m_clock.set(kNow);
        removeStateDir();
        // The next store makes every parent again.
        QDir(QDir::homePath() + QStringLiteral("/.cursor")).removeRecursively();
        QDir(QDir::homePath() + QStringLiteral("/aside")).removeRecursively();
    }

    void cleanup() { removeStateDir(); }

    void constructionMakesTheDirectoryAndReadsNothing()
    {
        QVERIFY(!exists(QDir::homePath() + QStringLiteral("/.cursor")));
        StatusStore store(m_clock);
        QCOMPARE(store.stateDir(), m_dir);
        QVERIFY(QFileInfo(m_dir).isDir());
        QCOMPARE(store.state(), AgentState::Unknown);
        QVERIFY(store.windows().isEmpty());
        QVERIFY(store.tabs().isEmpty());
        QVERIFY(!store.isStarted());

        put(QStringLiteral("c.json"), rec("working", 1));
        StatusStore second(m_clock); // the directory exists already: fine, still nothing read
        QCOMPARE(second.state(), AgentState::Unknown);
        QVERIFY(second.tabs().isEmpty());
    }

    void constructionWithAFileInTheWay()
    {
        QDir().mkpath(QFileInfo(m_dir).path());
        QFile blocker(m_dir);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a directory");
        blocker.close();

        StatusStore store(m_clock);
        QVERIFY(QFileInfo(m_dir).isFile()); // left alone
        store.start();
        QCOMPARE(store.state(), AgentState::Unknown);
        QVERIFY(store.windows().isEmpty());
        QVERIFY(!store.isWatching());
        store.stop();
    }

    void startPublishesBeforeItReturns()
    {
        StatusStore store(m_clock);
        put(QStringLiteral("c.json"), rec("pending", 2, "/p/app", "c"));
        store.start();
        QCOMPARE(store.state(), AgentState::Working);
        QCOMPARE(windowsOf(store), QStringLiteral("/p/app|app|working|2"));
        QCOMPARE(tabsOf(store), QStringLiteral("c|app|working|2"));
        QVERIFY(store.isStarted());
        QVERIFY(store.isWatching());
        store.stop();
    }

    void pass_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QString>("windows");
        QTest::addColumn<QString>("tabs");
        QTest::addColumn<AgentState>("state");

        QTest::newRow("empty directory") << Files{} << ""
                                         << "" << AgentState::Unknown;
        QTest::newRow("state and ts only: the file name is the tab")
            << Files{{"4f1c.json", rec("idle", 10)}} << "|Unknown|idle|10"
            << "4f1c|Unknown|idle|10" << AgentState::Idle;
        QTest::newRow("fresh idle beside a three-hour-old waiting record")
            << Files{{"a.json", rec("idle", 60, "/p/app", "c-idle")},
                     {"b.json", rec("waiting", 10800, "/p/app", "c-wait")}}
            << "/p/app|app|waiting|60"
            << "c-idle|app|idle|60" << AgentState::Waiting;
        QTest::newRow("working and idle conversations of one workspace")
            << Files{{"1.json", rec("idle", 30, "/p/app", "zz")},
                     {"2.json", rec("working", 40, "/p/app", "aa")}}
            << "/p/app|app|working|30"
            << "aa|app #1|working|40, zz|app #2|idle|30" << AgentState::Working;
        QTest::newRow("records without a workspace share one window")
            << Files{{"n1.json", rec("idle", 5)},
                     {"n2.json", rec("error", 9, "", "")},
                     {"n3.json", rec("idle", 7, nullptr, "conv")}}
            << "|Unknown|idle|5"
            << "conv|Unknown #1|idle|7, n1|Unknown #2|idle|5, n2|Unknown #3|error|9" << AgentState::Idle;
        QTest::newRow("a record from the future counts as fresh")
            << Files{{"f.json", rec("working", -5000, "/p/app", "f")}} << "/p/app|app|working|-5000"
            << "f|app|working|-5000" << AgentState::Working;
        QTest::newRow("a working record left for 901 s is idle")
            << Files{{"w.json", rec("working", 901, "/p/app", "w")}} << "/p/app|app|idle|901"
            << "w|app|idle|901" << AgentState::Idle;
        QTest::newRow("exactly 7200 s old is shown, 7200.5 s is not")
            << Files{{"a.json", rec("error", 7200, "/p/a", "a")},
                     {"b.json", rec("idle", 7200.5, "/p/b", "b")}}
            << "/p/a|a|error|7200"
            << "a|a|error|7200" << AgentState::Error;
        QTest::newRow("nothing recent") << Files{{"a.json", rec("waiting", 7300, "/p/a", "a")}} << ""
                                        << "" << AgentState::Unknown;
        QTest::newRow("an unrecognised newest record makes the window unknown")
            << Files{{"a.json", rec("idle", 100, "/p/a", "a")}, {"b.json", rec("thinking", 10, "/p/a", "b")}}
            << "/p/a|a|unknown|10"
            << "a|a #1|idle|100, b|a #2|unknown|10" << AgentState::Unknown;
        QTest::newRow("window order and the overall state")
            << Files{{"k.json", rec("working", 800, "/p/busy", "k")},
                     {"w.json", rec("waiting", 5, "/p/ask", "w")},
                     {"i.json", rec("idle", 1, "/p/done", "i")}}
            << "/p/busy|busy|working|800, /p/done|done|idle|1, /p/ask|ask|waiting|5"
            << "w|ask|waiting|5, k|busy|working|800, i|done|idle|1" << AgentState::Working;
        QTest::newRow("only lowercase .json files take part")
            << Files{{"a.json", rec("idle", 1, "/p/a", "a")},
                     {"b.JSON", rec("working", 1)},
                     {"c.Json", rec("working", 1)},
                     {"d.json.tmp", rec("working", 1)},
                     {"e.jsonl", rec("working", 1)},
                     {".json", rec("working", 1)},
                     {"f", rec("working", 1)}}
            << "/p/a|a|idle|1"
            << "a|a|idle|1" << AgentState::Idle;
        QTest::newRow("hidden state files take part")
            << Files{{".h.json", rec("waiting", 3)}} << "|Unknown|waiting|3"
            << ".h|Unknown|waiting|3" << AgentState::Waiting;
        QTest::newRow("undecodable files are skipped")
            << Files{{"a.json", rec("idle", 1, "/p/a", "a")},
                     {"b.json", "{\"state\":\"working\""},
                     {"c.json", "{\"state\":\"working\",\"ts\":\"1\"}"},
                     {"d.json", ""}}
            << "/p/a|a|idle|1"
            << "a|a|idle|1" << AgentState::Idle;
        QTest::newRow("workspace paths name their windows")
            << Files{{"a.json", rec("idle", 1, "/home/ada/src/engine/", "a")},
                     {"b.json", rec("idle", 2, "/", "b")}}
            << "/home/ada/src/engine/|engine|idle|1, /|/|idle|2"
            << "b|/|idle|2, a|engine|idle|1" << AgentState::Idle;
    }
    void pass()
    {
        QFETCH(Files, files);
        QFETCH(QString, windows);
        QFETCH(QString, tabs);
        QFETCH(AgentState, state);
        StatusStore store(m_clock);
        for (const StateFileContent& f : files)
            put(f.name, f.content);
        store.refresh();
        QCOMPARE(windowsOf(store), windows);
        QCOMPARE(tabsOf(store), tabs);
        QCOMPARE(rawValue(store.state()), rawValue(state));
        for (const StateFileContent& f : files)
            QVERIFY2(exists(path(f.name)), qPrintable(f.name)); // a pass deletes only old records
    }

    void entries_data()
    {
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<QString>("tabs");
        QTest::addColumn<AgentState>("state");

        const QString good = QStringLiteral("good|Unknown|idle|1");
        const AgentState idle = AgentState::Idle;
        QTest::newRow("FIFO") << Entry::Fifo << good << idle;
        QTest::newRow("socket") << Entry::Socket << good << idle;
        QTest::newRow("link to a FIFO") << Entry::LinkToFifo << good << idle;
        QTest::newRow("link to a device") << Entry::LinkToDevice << good << idle;
        QTest::newRow("device") << Entry::Device << good << idle;
        QTest::newRow("directory holding a state file") << Entry::Directory << good << idle;
        QTest::newRow("dangling link") << Entry::DanglingLink << good << idle;
        QTest::newRow("link loop") << Entry::LinkLoop << good << idle;
        QTest::newRow("link to a directory") << Entry::LinkToDirectory << good << idle;
        QTest::newRow("link to a state file is followed")
            << Entry::LinkToRegularFile << QStringLiteral("good|Unknown #1|idle|1, x|Unknown #2|waiting|4")
            << AgentState::Waiting;
        QTest::newRow("over 1 MiB, with a record old enough to delete") << Entry::TooLarge << good << idle;
        QTest::newRow("undecodable, however old") << Entry::Undecodable << good << idle;
    }
    // Nothing but regular files (and links to them) is read, nothing blocks, and
    // nothing that is skipped is deleted.
    void entries()
    {
        QFETCH(Entry, entry);
        QFETCH(QString, tabs);
        QFETCH(AgentState, state);
        StatusStore store(m_clock);
        const QString x = path(QStringLiteral("x.json"));
        const QByteArray xb = QFile::encodeName(x);
        const QString aside = QDir::homePath() + QStringLiteral("/aside");
        QDir().mkpath(aside);
        int fd = -1;
        switch (entry) {
        case Entry::Fifo:
            QCOMPARE(::mkfifo(xb.constData(), 0600), 0);
            break;
        case Entry::Socket: {
            fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            QVERIFY(std::size_t(xb.size()) < sizeof addr.sun_path);
            std::copy(xb.begin(), xb.end(), addr.sun_path);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
            QCOMPARE(::listen(fd, 1), 0);
            break;
        }
        case Entry::LinkToFifo: {
            const QByteArray fifo = QFile::encodeName(aside + QStringLiteral("/fifo"));
            QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
            QCOMPARE(::symlink(fifo.constData(), xb.constData()), 0);
            break;
        }
        case Entry::LinkToDevice:
            QCOMPARE(::symlink("/dev/zero", xb.constData()), 0);
            break;
        case Entry::Device:
            if (::mknod(xb.constData(), S_IFCHR | 0600, makedev(1, 5)) != 0)
                QSKIP("creating a device node needs privileges this run does not have");
            break;
        case Entry::Directory:
            QVERIFY(QDir().mkpath(x));
            QVERIFY(QFile(x + QStringLiteral("/inner.json")).open(QIODevice::WriteOnly));
            break;
        case Entry::DanglingLink:
            QCOMPARE(::symlink("nowhere.json", xb.constData()), 0);
            break;
        case Entry::LinkLoop:
            QCOMPARE(::symlink("x.json", xb.constData()), 0);
            break;
        case Entry::LinkToDirectory:
            QCOMPARE(::symlink(QFile::encodeName(aside).constData(), xb.constData()), 0);
            break;
        case Entry::LinkToRegularFile: {
            QFile target(aside + QStringLiteral("/record"));
            QVERIFY(target.open(QIODevice::WriteOnly));
            target.write(rec("waiting", 4));
            target.close();
            QCOMPARE(::symlink(QFile::encodeName(target.fileName()).constData(), xb.constData()), 0);
            break;
        }
        case Entry::TooLarge: {
            QByteArray big = rec("idle", 200000);
            big.append(QByteArray(StatusStore::kMaxStateFileSize + 1 - big.size(), ' '));
            put(QStringLiteral("x.json"), big);
            break;
        }
        case Entry::Undecodable:
            put(QStringLiteral("x.json"), rec("idle", 200000).chopped(2));
            break;
        }
        put(QStringLiteral("good.json"), rec("idle", 1));

        const int descriptors = openDescriptors();
        store.refresh();
        QCOMPARE(tabsOf(store), tabs);
        QCOMPARE(rawValue(store.state()), rawValue(state));
        QVERIFY(exists(x));
        store.refresh(); // and again, the same
        QCOMPARE(tabsOf(store), tabs);
        QCOMPARE(openDescriptors(), descriptors);
        if (fd >= 0)
            ::close(fd);
    }

    void sizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("read");
        QTest::newRow("exactly 1 MiB is read") << StatusStore::kMaxStateFileSize << true;
        QTest::newRow("one byte more is not") << StatusStore::kMaxStateFileSize + 1 << false;
        QTest::newRow("far larger is not") << 3 * StatusStore::kMaxStateFileSize << false;
    }
    void sizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(bool, read);
        StatusStore store(m_clock);
        QByteArray content = rec("working", 3, "/p/big", "big");
        content.append(QByteArray(size - content.size(), '\n'));
        put(QStringLiteral("big.json"), content);
        store.refresh();
        QCOMPARE(store.state(), read ? AgentState::Working : AgentState::Unknown);
        QCOMPARE(store.tabs().size(), read ? 1 : 0);
        QVERIFY(exists(path(QStringLiteral("big.json"))));
    }

    void pruning_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<bool>("deletedOneSecondLater");

        QTest::newRow("exactly 86400 s old stays") << rec("waiting", 86400, "/p/a") << false << true;
        QTest::newRow("86400.5 s old goes") << rec("waiting", 86400.5, "/p/a") << true << true;
        QTest::newRow("two days old goes") << rec("error", 172800) << true << true;
        QTest::newRow("an unrecognised state goes too") << rec("thinking", 90000) << true << true;
        QTest::newRow("an old record that does not decode stays")
            << QByteArray(R"({"state":"idle","ts":1,"workspace":5})") << false << false;
        QTest::newRow("a record from 1970 goes") << QByteArray(R"({"state":"idle","ts":0})") << true << true;
    }
    // Old records are deleted, but never shown, whether deleted or not.
    void pruning()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, deleted);
        QFETCH(bool, deletedOneSecondLater);
        StatusStore store(m_clock);
        put(QStringLiteral("old.json"), content);
        put(QStringLiteral("new.json"), rec("idle", 100, "/p/b"));
        Recorder recorder(store);
        store.refresh();
        QCOMPARE(exists(path(QStringLiteral("old.json"))), !deleted);
        QVERIFY(exists(path(QStringLiteral("new.json"))));
        QCOMPARE(windowsOf(store), QStringLiteral("/p/b|b|idle|100"));
        QCOMPARE(store.state(), AgentState::Idle);

        m_clock.advance(1); // now the 86400 s record is over the limit too
        store.refresh();
        QCOMPARE(exists(path(QStringLiteral("old.json"))), !deletedOneSecondLater);
        QCOMPARE(recorder.take(), QStringList({"tabs", "windows", "state"})); // the first pass only
    }

    // A pass that finds what the last one found publishes nothing, however many
    // passes run, from refresh() or from the timer.
    void unchangedDirectoryPublishesNothing()
    {
        StatusStore store(m_clock);
        put(QStringLiteral("a.json"), rec("working", 10, "/p/a", "a"));
        put(QStringLiteral("b.json"), rec("pending", 0, "/p/a", "b"));
        put(QStringLiteral("c.json"), rec("idle", 300, "/p/c", "c"));
        put(QStringLiteral("d.json"), rec("waiting", 5000));
        put(QStringLiteral("e.json"), "not json");
        store.refresh();
        const WindowStatusList windows = store.windows();
        const WindowStatusList tabs = store.tabs();
        QCOMPARE(windows.size(), 3);

        Recorder recorder(store);
        for (int i = 0; i < 50; ++i) {
            m_clock.advance(0.1); // ages move, but cross no limit (pending stays under 6 s)
            store.refresh();
        }
        store.start();
        QVERIFY(!recorder.changed.wait(2500)); // two timer ticks
        store.stop();
        QCOMPARE(recorder.take(), QStringList());
        QCOMPARE(recorder.changed.count(), 0);
        QCOMPARE(store.windows(), windows);
        QCOMPARE(store.tabs(), tabs);
    }

    void publicationOrder()
    {
        StatusStore store(m_clock);
        Recorder recorder(store);

        store.refresh(); // empty directory: all three already hold this
        QCOMPARE(recorder.take(), QStringList());

        put(QStringLiteral("a.json"), rec("idle", 10, "/p/a", "a"));
        store.refresh();
        QCOMPARE(recorder.take(), QStringList({"tabs", "windows", "state"}));

        // An older idle tab in the same window: the window's newest record and
        // state stay, only the tabs change.
        put(QStringLiteral("b.json"), rec("idle", 50, "/p/a", "b"));
        store.refresh();
        QCOMPARE(recorder.take(), QStringList({"tabs"}));

        // An older second window: the newest window still decides the overall state.
        put(QStringLiteral("c.json"), rec("error", 70, "/p/c", "c"));
        store.refresh();
        QCOMPARE(recorder.take(), QStringList({"tabs", "windows"}));

        // A newer record with the same state: the rows' times change, nothing else.
        put(QStringLiteral("a.json"), rec("idle", 5, "/p/a", "a"));
        store.refresh();
        QCOMPARE(recorder.take(), QStringList({"tabs", "windows"}));

        put(QStringLiteral("a.json"), rec("working", 1, "/p/a", "a"));
        store.refresh();
        QCOMPARE(recorder.take(), QStringList({"tabs", "windows", "state"}));
        QCOMPARE(store.state(), AgentState::Working);

        QVERIFY(QDir(m_dir).removeRecursively());
        store.refresh();
        QCOMPARE(recorder.take(), QStringList({"state", "windows", "tabs"}));
        QCOMPARE(store.state(), AgentState::Unknown);
        QVERIFY(store.windows().isEmpty());
        QVERIFY(store.tabs().isEmpty());

        store.refresh(); // still failing, and nothing left to change
        QCOMPARE(recorder.take(), QStringList());

        QVERIFY(QDir().mkpath(m_dir));
        put(QStringLiteral("a.json"), rec("idle", 10, "/p/a", "a"));
        store.refresh();
        QCOMPARE(recorder.take(), QStringList({"tabs", "windows", "state"}));

        m_clock.advance(7200); // everything leaves the display window
        store.refresh();
        QCOMPARE(recorder.take(), QStringList({"tabs", "windows", "state"}));
        QCOMPARE(store.state(), AgentState::Unknown);

        QVERIFY(recorder.consistent);
        QCOMPARE(recorder.changed.count(), 20);
    }

    // Subscribers connect queued: the lists and the state must travel through
    // the event loop, which needs their types registered.
    void queuedSubscribers()
    {
        StatusStore store(m_clock);
        WindowStatusList windows, tabs;
        std::optional<AgentState> state;
        connect(
            &store, &StatusStore::windowsChanged, this, [&](const WindowStatusList& w) { windows = w; },
            Qt::QueuedConnection);
        connect(
            &store, &StatusStore::tabsChanged, this, [&](const WindowStatusList& t) { tabs = t; },
            Qt::QueuedConnection);
        connect(
            &store, &StatusStore::stateChanged, this, [&](AgentState s) { state = s; }, Qt::QueuedConnection);
        put(QStringLiteral("a.json"), rec("waiting", 10, "/p/a", "a"));
        store.refresh();
        QVERIFY(!state.has_value()); // not inside the pass
        QTRY_VERIFY(state.has_value());
        QCOMPARE(*state, AgentState::Waiting);
        QCOMPARE(windows, store.windows());
        QCOMPARE(tabs, store.tabs());
        QCOMPARE(windows.size(), 1);
    }

    // A file renamed into the directory is published at once, well before the
    // next tick of the 1-second timer.
    void newFilesArriveThroughTheWatcher()
    {
        StatusStore store(m_clock);
        store.start();
        QVERIFY(store.isWatching());
        QSignalSpy tabs(&store, &StatusStore::tabsChanged);
        QList<qint64> delays;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer clock;
            clock.start();
            put(QStringLiteral("r%1.json").arg(i),
                rec("working", 0, "/p/r", qPrintable(QStringLiteral("r%1").arg(i))));
            QVERIFY(tabs.wait(3000));
            delays << clock.elapsed();
            QCOMPARE(store.tabs().size(), i + 1);
            tabs.clear();
        }
        std::sort(delays.begin(), delays.end());
        // Each file follows the last publication at once, so with the timer
        // alone nearly every one would wait a whole second.
        QVERIFY2(delays[3] < 150, qPrintable(QStringLiteral("median %1 ms").arg(delays[3])));
        store.stop();
    }

    // Rewriting a file in place changes no directory entry; the timer finds it.
    void inPlaceRewritesArriveThroughTheTimer()
    {
        StatusStore store(m_clock);
        put(QStringLiteral("a.json"), rec("idle", 10, "/p/a", "a"));
        store.start();
        QCOMPARE(store.state(), AgentState::Idle);

        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(path(QStringLiteral("a.json"))).constData(), &before), 0);
        QFile f(path(QStringLiteral("a.json")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(rec("working", 0, "/p/a", "a"));
        f.close();
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(path(QStringLiteral("a.json"))).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);

        QTRY_COMPARE_WITH_TIMEOUT(store.state(), AgentState::Working, 3000);
        store.stop();
    }

    void directoryBrokenWhileStarted_data()
    {
        QTest::addColumn<Breakage>("breakage");
        QTest::newRow("removed") << Breakage::Removed;
        QTest::newRow("renamed away") << Breakage::RenamedAway;
        QTest::newRow("replaced by a file") << Breakage::ReplacedByFile;
        QTest::newRow("made unreadable") << Breakage::Unreadable;
    }
    // The status falls to unknown and empty, and the timer brings it back once
    // the directory is usable again, although no directory event arrives.
    void directoryBrokenWhileStarted()
    {
        QFETCH(Breakage, breakage);
        if (breakage == Breakage::Unreadable && ::geteuid() == 0)
            QSKIP("root reads a directory whatever its mode");
        StatusStore store(m_clock);
        put(QStringLiteral("a.json"), rec("working", 10, "/p/a", "a"));
        store.start();
        QCOMPARE(store.state(), AgentState::Working);
        Recorder recorder(store);

        switch (breakage) {
        case Breakage::Removed:
            QVERIFY(QDir(m_dir).removeRecursively());
            break;
        case Breakage::RenamedAway:
            QVERIFY(QDir().rename(m_dir, m_dir + QStringLiteral(".old")));
            break;
        case Breakage::ReplacedByFile: {
            QVERIFY(QDir(m_dir).removeRecursively());
            QFile f(m_dir);
            QVERIFY(f.open(QIODevice::WriteOnly));
            break;
        }
        case Breakage::Unreadable:
            QVERIFY(QFile::setPermissions(m_dir, QFile::WriteOwner | QFile::ExeOwner));
            break;
        }
        QTRY_COMPARE_WITH_TIMEOUT(store.state(), AgentState::Unknown, 3000);
        QVERIFY(store.windows().isEmpty());
        QVERIFY(store.tabs().isEmpty());
        QCOMPARE(recorder.take(), QStringList({"state", "windows", "tabs"}));

        if (breakage == Breakage::Unreadable) {
            QVERIFY(QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            QVERIFY(QFile::remove(path(QStringLiteral("a.json"))));
        } else {
            QFile::remove(m_dir);
            QVERIFY(QDir().mkpath(m_dir));
        }
        put(QStringLiteral("b.json"), rec("idle", 1, "/p/b", "b"));
        QTRY_COMPARE_WITH_TIMEOUT(store.state(), AgentState::Idle, 3000);
        QCOMPARE(windowsOf(store), QStringLiteral("/p/b|b|idle|1"));
        QCOMPARE(recorder.take(), QStringList({"tabs", "windows", "state"}));
        store.stop();
    }

    // Started while the directory cannot be listed: the timer alone notices
    // when it appears.
    void startWithoutTheDirectory()
    {
        StatusStore store(m_clock);
        QVERIFY(QDir(m_dir).removeRecursively());
        store.start();
        QVERIFY(store.isStarted());
        QVERIFY(!store.isWatching());
        QCOMPARE(store.state(), AgentState::Unknown);

        QVERIFY(QDir().mkpath(m_dir));
        put(QStringLiteral("a.json"), rec("waiting", 3, "/p/a", "a"));
        QTRY_COMPARE_WITH_TIMEOUT(store.state(), AgentState::Waiting, 3000);
        store.stop();
        QVERIFY(!store.isStarted());
    }

    void stopEndsEveryPass()
    {
        StatusStore store(m_clock);
        store.stop(); // never started: nothing to do
        put(QStringLiteral("a.json"), rec("working", 10, "/p/a", "a"));
        const int descriptors = openDescriptors();
        store.start();
        store.stop();
        QCOMPARE(openDescriptors(), descriptors); // the watcher's descriptor is closed
        QVERIFY(!store.isStarted());
        QVERIFY(!store.isWatching());
        const WindowStatusList windows = store.windows();

        Recorder recorder(store);
        put(QStringLiteral("b.json"), rec("waiting", 1, "/p/b", "b")); // no directory event is handled
        m_clock.advance(1000);                                         // a tick would make a.json idle
        QVERIFY(!recorder.changed.wait(1500));
        QCOMPARE(store.state(), AgentState::Working);
        QCOMPARE(store.windows(), windows);
        store.stop();
        QCOMPARE(recorder.take(), QStringList());
    }
};

KORVANE_TEST_MAIN(TestStatusStore)
#include "tst_statusstore.moc"
