#include "TestMain.h"

#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <ctime>
#include <memory>
#include <utime.h>

// The real program in a home of its own, with nothing else in common with the test.
class TestShell : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::vector<std::unique_ptr<QProcess>> m_started;

    QString path(const char* relative) const { return m_home->filePath(QString::fromLatin1(relative)); }

    QProcess& launch(const QStringList& env = {QStringLiteral("QT_QPA_PLATFORM=offscreen")})
    {
        QStringList all = {QStringLiteral("PATH=/usr/bin:/bin"), QStringLiteral("HOME=") + m_home->path(),
                           QStringLiteral("XDG_RUNTIME_DIR=") + path("run")};
        auto& p = *m_started.emplace_back(std::make_unique<QProcess>());
        p.setEnvironment(all + env);
        p.start(QStringLiteral(KORVANE_BINARY), {});
        return p;
    }

    // Holds the lock and has made its state directory: the delegate exists.
    bool isUp(const QProcess& p) const
    {
        QFile lock(path("run/korvane.lock"));
        return p.state() == QProcess::Running && lock.open(QIODevice::ReadOnly) &&
               lock.readLine().trimmed().toLongLong() == p.processId() &&
               QFileInfo::exists(path(".cursor/signalwick/state"));
    }

    static void expectExit(QProcess& p, int code)
    {
        QVERIFY(p.waitForFinished(30000));
        const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == code;
        QVERIFY2(ok, ok ? "" : p.readAllStandardError().constData());
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path("run")));
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
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void quitsCleanlyOnSignal()
    {
        QFETCH(int, signalNumber);
        QProcess& p = launch();
        QTRY_VERIFY_WITH_TIMEOUT(isUp(p), 30000);
        QCOMPARE(::kill(pid_t(p.processId()), signalNumber), 0);
        expectExit(p, 0);
        QVERIFY(!QFileInfo::exists(path("run/korvane.lock")));
    }

    void aSecondLaunchLeavesQuietly()
    {
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
    }

    void withoutADisplayItSaysSo_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::newRow("none named") << QStringList();
        QTest::newRow("DISPLAY with no server") << QStringList{QStringLiteral("DISPLAY=:93")};
        QTest::newRow("WAYLAND_DISPLAY with no compositor")
            << QStringList{QStringLiteral("WAYLAND_DISPLAY=wayland-93")};
    }
    void withoutADisplayItSaysSo()
    {
        QFETCH(QStringList, env);
        if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X93")))
            QSKIP("display :93 exists here");
        QProcess& p = launch(env);
        expectExit(p, 1);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.startsWith("Korvane: ") && err.count('\n') == 1, err.constData());
        QVERIFY(!QFileInfo::exists(path("run/korvane.lock")));
    }
};

KORVANE_TEST_MAIN(TestShell)
#include "tst_shell.moc"
