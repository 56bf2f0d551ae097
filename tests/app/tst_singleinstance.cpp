#include "TestMain.h"
#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <ctime>
#include <utime.h>

using namespace korvane;

class TestSingleInstance : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lockIsInTheRuntimeDirectory()
    {
        const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
        QVERIFY(runtime.startsWith(QDir::homePath()));
        QCOMPARE(SingleInstance::defaultLockPath(), runtime + QStringLiteral("/korvane.lock"));
    }

    void secondHolderIsTurnedAway()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("korvane.lock"));
        {
            SingleInstance first(path);
            QCOMPARE(first.tryAcquire(), SingleInstance::Result::Acquired);
            QVERIFY(first.isAcquired());
            QVERIFY(QFileInfo::exists(path));

            SingleInstance second(path);
            QCOMPARE(second.tryAcquire(), SingleInstance::Result::AlreadyRunning);
            QVERIFY(!second.isAcquired());
            // Asking again while holding it is no conflict.
            QCOMPARE(first.tryAcquire(), SingleInstance::Result::Acquired);
        }
        QVERIFY(!QFileInfo::exists(path));
        SingleInstance third(path);
        QCOMPARE(third.tryAcquire(), SingleInstance::Result::Acquired);
    }

    void anOldLockOfARunningCopyIsNotStale()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("korvane.lock"));
        SingleInstance first(path);
        QCOMPARE(first.tryAcquire(), SingleInstance::Result::Acquired);
        // Korvane runs for days; the lock's age must not hand it to a second copy.
        struct utimbuf old {};
        old.actime = old.modtime = ::time(nullptr) - 7 * 24 * 3600;
        QCOMPARE(::utime(QFile::encodeName(path).constData(), &old), 0);
        SingleInstance second(path);
        QCOMPARE(second.tryAcquire(), SingleInstance::Result::AlreadyRunning);
    }

    void aLockLeftByADeadProcessIsTakenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("korvane.lock"));
        // What a crashed copy leaves behind: the pid of a process that has ended.
        QProcess gone;
        gone.start(QStringLiteral("/bin/true"));
        QVERIFY(gone.waitForStarted(10000));
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished(10000));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(pid) + "\nkorvane\n" + QSysInfo::machineHostName().toUtf8() + '\n' +
                QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n');
        f.close();

        SingleInstance next(path);
        QCOMPARE(next.tryAcquire(), SingleInstance::Result::Acquired);
    }

    void anUnusableFolderIsReported()
    {
        SingleInstance nowhere(QStringLiteral("/proc/korvane-no-such-folder/korvane.lock"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot create the lock file")));
        QCOMPARE(nowhere.tryAcquire(), SingleInstance::Result::Unavailable);
    }
};

KORVANE_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
