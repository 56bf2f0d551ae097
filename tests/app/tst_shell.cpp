#include "TestMain.h"
#include "shell/HomeDirectory.h"

#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <ctime>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace korvane;

// The real program in a home of its own, with nothing else in common with the test.
class TestShell : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::vector<std::unique_ptr<QProcess>> m_started;

    QString path(const char* relative) const { return m_home->filePath(QString::fromLatin1(relative)); }

    // `env`: NAME=VALUE sets, -NAME removes.
    QProcess& launch(const QStringList& env = {QStringLiteral("QT_QPA_PLATFORM=offscreen")},
                     bool asNobody = false)
    {
        QProcessEnvironment all;
        all.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        all.insert(QStringLiteral("HOME"), m_home->path());
        all.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("run"));
        all.insert(QStringLiteral("TMPDIR"), path("tmp"));
        for (const QString& e : env) {
            if (e.startsWith(u'-'))
                all.remove(e.mid(1));
            else
                all.insert(e.section(u'=', 0, 0), e.section(u'=', 1));
        }
        auto& p = *m_started.emplace_back(std::make_unique<QProcess>());
        p.setProcessEnvironment(all);
        if (asNobody)
            p.setChildProcessModifier(
                [] { [[maybe_unused]] const int r = ::setgid(65534) + ::setuid(65534); });
        p.start(QStringLiteral(KORVANE_BINARY), {});
        return p;
    }

    // Holds the lock (its signal handling is in place by then).
    bool isUp(const QProcess& p, const char* lockFile = "run/korvane.lock") const
    {
        QFile lock(path(lockFile));
        return p.state() == QProcess::Running && lock.open(QIODevice::ReadOnly) &&
               lock.readLine().trimmed().toLongLong() == p.processId();
    }

    static void expectExit(QProcess& p, int code)
    {
        QVERIFY(p.waitForFinished(30000));
        const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == code;
        QVERIFY2(ok, ok ? "" : p.readAllStandardError().constData());
    }

private Q_SLOTS:
    // Without HOME, Qt's home would be "/": the account's own stands in.
    void ensure_data()
    {
        QTest::addColumn<QByteArray>("value"); // "-": unset
        QTest::addColumn<QString>("home");
        const QString account = QFile::decodeName(::getpwuid(::getuid())->pw_dir);
        QTest::newRow("unset") << QByteArray("-") << account;
        QTest::newRow("empty") << QByteArray() << account;
        QTest::newRow("set") << QByteArray("/tmp") << "/tmp";
    }
    void ensure()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, home);
        const auto restore = qScopeGuard([saved = qgetenv("HOME")] { qputenv("HOME", saved); });
        value == "-" ? qunsetenv("HOME") : qputenv("HOME", value);
        QString error;
        QVERIFY(HomeDirectory::ensure(&error));
        QCOMPARE(QDir::homePath(), home);
    }

    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path("run")) && QDir().mkpath(path("tmp")));
        QVERIFY(QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    void cleanup()
    {
        for (auto& p : m_started)
            p->kill();
        m_started.clear();
    }

    void quitsCleanlyOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QByteArray>("lock");
        QTest::newRow("SIGTERM") << SIGTERM << QByteArray("run/korvane.lock");
        QTest::newRow("SIGINT, no XDG_RUNTIME_DIR")
            << SIGINT << "tmp/korvane-" + QByteArray::number(::getuid()) + "/korvane.lock";
    }
    void quitsCleanlyOnSignal()
    {
        QFETCH(int, signalNumber);
        QFETCH(QByteArray, lock);
        QStringList env = {QStringLiteral("QT_QPA_PLATFORM=offscreen")};
        if (!lock.startsWith("run"))
            env.append(QStringLiteral("-XDG_RUNTIME_DIR"));
        QProcess& p = launch(env);
        QTRY_VERIFY_WITH_TIMEOUT(isUp(p, lock), 30000);
        QCOMPARE(::kill(pid_t(p.processId()), signalNumber), 0);
        expectExit(p, 0);
        QVERIFY(!QFileInfo::exists(path(lock)));
    }

    // ...and the running one shows its light (the way back when there is no tray).
    void aSecondLaunchLeavesQuietly()
    {
        QVERIFY(QDir().mkpath(path(".config/Korvane")));
        QFile defaults(path(".config/Korvane/defaults.json"));
        QVERIFY(defaults.open(QIODevice::WriteOnly));
        defaults.write(R"({"KorvaneHasLaunched": true, "OverlayWasVisible": false})");
        defaults.close();
        QProcess& first = launch();
        QTRY_VERIFY_WITH_TIMEOUT(isUp(first), 30000);
        // Korvane runs for days: the lock's age hands it to nobody.
        struct utimbuf old {};
        old.actime = old.modtime = ::time(nullptr) - 3 * 24 * 3600;
        QCOMPARE(::utime(QFile::encodeName(path("run/korvane.lock")).constData(), &old), 0);
        QProcess& second = launch();
        expectExit(second, 0);
        QCOMPARE(second.readAll() + second.readAllStandardError(), QByteArray());
        QVERIFY(isUp(first));
        QTRY_VERIFY(korvane::test::contentsOf(defaults.fileName()).contains(R"("OverlayWasVisible": true)"));
    }

    // Nothing is started, and one line says why.
    void refuses_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QString>("lockFolder"); // korvane-<uid> under TMPDIR, made before the launch
        const QStringList noRuntime = {QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                                       QStringLiteral("-XDG_RUNTIME_DIR")};
        QTest::newRow("no display named") << QStringList() << "";
        QTest::newRow("DISPLAY with no server") << QStringList{QStringLiteral("DISPLAY=:93")} << "";
        QTest::newRow("WAYLAND_DISPLAY with no compositor")
            << QStringList{QStringLiteral("WAYLAND_DISPLAY=wayland-93")} << "";
        QTest::newRow("HOME unset, account without a home")
            << noRuntime + QStringList{QStringLiteral("-HOME")} << "nobody:run";
        QTest::newRow("lock folder open to others") << noRuntime << "0777";
        QTest::newRow("lock folder of another user") << noRuntime << "nobody";
    }
    void refuses()
    {
        QFETCH(QStringList, env);
        QFETCH(QString, lockFolder);
        if (!lockFolder.isEmpty() && ::geteuid() != 0)
            QSKIP("needs root, to act as another user");
        const QByteArray folder = QFile::encodeName(path("tmp/korvane-") + QString::number(::getuid()));
        if (lockFolder == u"0777" || lockFolder == u"nobody")
            QVERIFY(::mkdir(folder, 0700) == 0 && ::chmod(folder, lockFolder == u"0777" ? 0777 : 0700) == 0 &&
                    ::chown(folder, lockFolder == u"nobody" ? 65534 : 0, 0) == 0);
        QProcess& p = launch(env, lockFolder == u"nobody:run");
        expectExit(p, 1);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.startsWith("Korvane: ") && err.count('\n') == 1, err.constData());
        QVERIFY(!QFileInfo::exists(path(".cursor")) && !QFileInfo::exists(path("run/korvane.lock")));
    }
};

KORVANE_TEST_MAIN(TestShell)
#include "tst_shell.moc"
