// A hostile environment: no usable home, another user's files in the state
// directory, entries that vanish or loop. Nothing may crash, hang or hide the
// records that can be read. Cases that need a second account run the real code
// in a child that switches to "nobody", and skip when the test is not root.
#include "FakeClock.h"
#include "Faults.h"
#include "TestMain.h"
#include "status/StatusStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
using namespace korvane::test;

namespace {

QByteArray record(const char* state, double ts)
{
    return "{\"state\":\"" + QByteArray(state) + "\",\"ts\":" + QByteArray::number(ts, 'f', 3) + "}";
}

// The entry readdir hands out last, the one a pass meets just before the end.
QString lastListed(const QString& dir)
{
    QString last;
    if (DIR* d = ::opendir(QFile::encodeName(dir).constData())) {
        while (const dirent* e = ::readdir(d))
            last = QFile::decodeName(e->d_name);
        ::closedir(d);
    }
    return last;
}

QProcessEnvironment childEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                             "XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    if (home.isNull())
        env.remove(QStringLiteral("HOME"));
    else
        env.insert(QStringLiteral("HOME"), home);
    return env;
}

} // namespace

class TestHostileEnv : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // An entry that cannot be opened, met last in the listing, must not turn
    // the pass into a failed listing that hides every other record.
    void entriesThatCannotBeOpened_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("link loop") << "loop";
        QTest::newRow("link to a directory") << "dirlink";
    }
    void entriesThatCannotBeOpened()
    {
        QFETCH(QString, kind);
        FakeClock clock(1'800'000'000.0);
        StatusStore store(clock);
        const QString dir = store.stateDir();
        QVERIFY(QDir(dir).removeRecursively() && QDir().mkpath(dir));
        QVERIFY(writeBytes(dir + QStringLiteral("/alive.json"), record("waiting", clock.now() - 10)));

        // Add bad entries until one of them is the last listed.
        const auto makeBad = [&](int n) {
            const QByteArray path = QFile::encodeName(dir + QStringLiteral("/bad-%1.json").arg(n));
            if (kind == u"dangling")
                return ::symlink("no-such-file", path.constData()) == 0;
            if (kind == u"loop")
                return ::symlink(path.constData(), path.constData()) == 0;
            return ::symlink("/", path.constData()) == 0;
        };
        int n = 0;
        while (!lastListed(dir).startsWith(QStringLiteral("bad-")) && n < 500)
            QVERIFY(makeBad(n++));
        if (!lastListed(dir).startsWith(QStringLiteral("bad-")))
            QSKIP("this file system never lists a new entry last");

        store.refresh();
        QCOMPARE(store.state(), AgentState::Waiting);
        QCOMPARE(store.tabs().size(), qsizetype(1));
        QCOMPARE(store.tabs().front().id, QStringLiteral("alive"));
    }

    // Another account's state file with mode 000 is skipped; everything else is shown.
    void anotherUsersFile()
    {
        const auto nobody = unprivilegedAccount();
        if (!nobody)
            QSKIP("needs root and a 'nobody' account to make a file its reader cannot open");
        QTemporaryDir home(QStringLiteral("/tmp/korvane-foreign-XXXXXX"));
        QVERIFY(home.isValid());
        const QString dir = home.path() + QStringLiteral("/.cursor/signalwick/state");
        QVERIFY(QDir().mkpath(dir));
        const double now = double(QDateTime::currentSecsSinceEpoch());
        QVERIFY(writeBytes(dir + QStringLiteral("/mine.json"), record("idle", now - 5)));
        QVERIFY(chownTree(home.path(), nobody->uid, nobody->gid));
        // Newer and "working": it would decide the overall state if it were read.
        // Old enough to be pruned, too: a file that cannot be read is never deleted.
        const QString theirs = dir + QStringLiteral("/theirs.json");
        QVERIFY(writeBytes(theirs, record("working", now - 1)));
        const QString theirsOld = dir + QStringLiteral("/theirs-old.json");
        QVERIFY(writeBytes(theirsOld, record("idle", now - 200000)));
        for (const QString& path : {theirs, theirsOld})
            QVERIFY(::chown(QFile::encodeName(path).constData(), 0, 0) == 0 &&
                    ::chmod(QFile::encodeName(path).constData(), 0) == 0);

        const ChildResult r = runChild({QStringLiteral("refresh")}, childEnvironment(home.path()), nobody);
        QVERIFY2(!r.crashed && r.exitCode == 0, r.err.constData());
        QCOMPARE(r.lines(), QStringList({QStringLiteral("state idle"), QStringLiteral("tab mine idle")}));
        QVERIFY(QFileInfo::exists(theirs));
        QVERIFY(QFileInfo::exists(theirsOld));
    }

    // No home, or one that cannot be written: the status shows nothing known,
    // preferences stay in memory, and nothing crashes or writes elsewhere.
    void unusableHome_data()
    {
        QTest::addColumn<QString>("home"); // null: HOME unset
        QTest::newRow("HOME unset") << QString();
        QTest::newRow("HOME empty") << QStringLiteral("");
        QTest::newRow("HOME not writable") << "/";
        QTest::newRow("HOME missing") << "/nonexistent/korvane-home";
        QTest::newRow("HOME is a file") << "/etc/hostname";
    }
    void unusableHome()
    {
        QFETCH(QString, home);
        const auto nobody = unprivilegedAccount();
        if (!nobody)
            QSKIP("needs root and a 'nobody' account: as root every home is writable");
        const QProcessEnvironment env = childEnvironment(home);

        const ChildResult pass = runChild({QStringLiteral("refresh")}, env, nobody);
        QVERIFY2(!pass.crashed && pass.exitCode == 0, pass.err.constData());
        QCOMPARE(pass.lines(), QStringList{QStringLiteral("state unknown")});

        const ChildResult pref = runChild({QStringLiteral("set-default")}, env, nobody);
        QVERIFY2(!pref.crashed && pref.exitCode == 0, pref.err.constData());
        QCOMPARE(pref.lines(), QStringList{QStringLiteral("not stored")});
        QVERIFY(!QFileInfo::exists(QStringLiteral("/.cursor")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/.config/Korvane")));
    }

    // A display that is named but cannot be reached: the program says so and
    // exits with status 1, as it does when none is named, instead of aborting.
    void programWithUnreachableDisplay_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value");
        QTest::newRow("DISPLAY with no server") << "DISPLAY"
                                                << ":93";
        QTest::newRow("DISPLAY that is garbage") << "DISPLAY"
                                                 << "no such host:x";
        QTest::newRow("WAYLAND_DISPLAY with no socket") << "WAYLAND_DISPLAY"
                                                        << "wayland-93";
    }
    void programWithUnreachableDisplay()
    {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        if (variable == u"DISPLAY" && QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X93")))
            QSKIP("display :93 exists here");
        QProcessEnvironment env = childEnvironment(QDir::homePath());
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("XDG_SESSION_TYPE"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QDir::homePath() + QStringLiteral("/run"));
        env.insert(variable, value);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KORVANE_BINARY), {});
        QVERIFY(p.waitForFinished(30000));
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit, err.constData());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains("Korvane: "), err.constData());
    }
};

KORVANE_TEST_MAIN(TestHostileEnv)
#include "tst_hostileenv.moc"
