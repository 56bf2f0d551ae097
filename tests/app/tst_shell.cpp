#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <ctime>
#include <memory>
#include <utime.h>

// The real program, run as a user would: its own home and runtime directory,
// the offscreen platform, and nothing but the environment in common with the test.
class TestShell : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;

    QString runtimeDir() const { return m_home->path() + QStringLiteral("/run"); }
    QString lockPath() const { return runtimeDir() + QStringLiteral("/korvane.lock"); }

    QProcessEnvironment environment(bool withDisplay) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString home = m_home->path();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (withDisplay)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    std::unique_ptr<QProcess> launch(bool withDisplay = true) const
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment(withDisplay));
        p->setProgram(QStringLiteral(KORVANE_BINARY));
        p->start();
        return p;
    }

    // The pid written in the lock file, 0 while there is none.
    qint64 lockOwner() const
    {
        QFile f(lockPath());
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        return f.readLine().trimmed().toLongLong();
    }

    // Running: holds the lock, its signal handling is in place and the delegate exists.
    bool isUp(const QProcess& p) const
    {
        return p.state() == QProcess::Running && lockOwner() == p.processId() &&
               QFileInfo::exists(m_home->path() + QStringLiteral("/.cursor/signalwick/state"));
    }

    static bool finishedCleanly(QProcess& p)
    {
        if (!p.waitForFinished(30000))
            return false;
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            qWarning("exit status %d, code %d, stderr: %s", int(p.exitStatus()), p.exitCode(),
                     p.readAllStandardError().constData());
            return false;
        }
        return true;
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        QVERIFY(QDir().mkpath(runtimeDir()));
        QVERIFY(QFile::setPermissions(runtimeDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                        QFileDevice::ExeOwner));
    }

    void quitsCleanlyOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT (Ctrl-C)") << SIGINT;
    }
    void quitsCleanlyOnSignal()
    {
        QFETCH(int, signalNumber);
        auto first = launch();
        QTRY_VERIFY_WITH_TIMEOUT(isUp(*first), 30000);
        QCOMPARE(::kill(pid_t(first->processId()), signalNumber), 0);
        QVERIFY(finishedCleanly(*first));
        // An orderly end releases the lock; being killed would leave it behind.
        QVERIFY(!QFileInfo::exists(lockPath()));
    }

    void aSecondLaunchLeavesTheFirstRunning()
    {
        auto first = launch();
        QTRY_VERIFY_WITH_TIMEOUT(isUp(*first), 30000);

        auto second = launch();
        QVERIFY(finishedCleanly(*second));
        QCOMPARE(second->readAllStandardOutput(), QByteArray());
        QCOMPARE(second->readAllStandardError(), QByteArray());

        // The first one holds the lock for days; its age gives it to nobody else.
        struct utimbuf old {};
        old.actime = old.modtime = ::time(nullptr) - 3 * 24 * 3600;
        QCOMPARE(::utime(QFile::encodeName(lockPath()).constData(), &old), 0);
        auto third = launch();
        QVERIFY(finishedCleanly(*third));

        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(lockOwner(), first->processId());
        QCOMPARE(::kill(pid_t(first->processId()), SIGTERM), 0);
        QVERIFY(finishedCleanly(*first));
    }

    void theLockOfACrashedRunIsTakenOver()
    {
        auto crashed = launch();
        QTRY_VERIFY_WITH_TIMEOUT(isUp(*crashed), 30000);
        crashed->kill();
        QVERIFY(crashed->waitForFinished(30000));
        QVERIFY(QFileInfo::exists(lockPath()));

        auto next = launch();
        QTRY_VERIFY_WITH_TIMEOUT(isUp(*next), 30000);
        QCOMPARE(::kill(pid_t(next->processId()), SIGTERM), 0);
        QVERIFY(finishedCleanly(*next));
    }

    void withoutADisplayItSaysSoAndFails()
    {
        auto p = launch(false);
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 1);
        const QByteArray err = p->readAllStandardError();
        QVERIFY2(err.startsWith("Korvane: ") && err.endsWith('\n') && err.count('\n') == 1, err.constData());
        QVERIFY2(err.contains("DISPLAY"), err.constData());
        QCOMPARE(p->readAllStandardOutput(), QByteArray());
        // It stopped before touching anything.
        QVERIFY(!QFileInfo::exists(lockPath()));
        QVERIFY(!QFileInfo::exists(m_home->path() + QStringLiteral("/.cursor")));
    }
};

KORVANE_TEST_MAIN(TestShell)
#include "tst_shell.moc"
