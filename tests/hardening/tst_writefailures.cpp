// Writes into a read-only or full folder (a small tmpfs, as root) fail, leave the
// file there as it was and nothing beside it, and work once the fault is gone.
#include "TestMain.h"
#include "agents/AgentList.h"
#include "hooks/HookInstaller.h"
#include "platform/UserDefaults.h"

#include <QRegularExpression>
#include <sys/mount.h>
#include <unistd.h>

using namespace korvane;
using namespace korvane::test;

class TestWriteFailures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void write_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("readOnly"); // otherwise full
        for (const bool readOnly : {true, false}) {
            for (const char* folder : {"/.config/Korvane", "/.cursor", "/.claude"})
                QTest::addRow("%s %s", readOnly ? "read-only" : "full", folder) << folder << readOnly;
        }
    }
    void write()
    {
        QFETCH(QString, folder);
        QFETCH(bool, readOnly);
        if (::geteuid() != 0)
            QSKIP("mounting a tmpfs needs root");
        const QString dir = QDir::homePath() + folder;
        const QByteArray mountPoint = QFile::encodeName(dir);
        QVERIFY(QDir().mkpath(dir));
        QCOMPARE(::mount("tmpfs", mountPoint, "tmpfs", 0, "size=1m"), 0);
        const auto unmount = qScopeGuard([&] { ::umount2(mountPoint, MNT_DETACH); });
        const bool prefs = folder.endsWith(u"Korvane");
        const QString file =
            prefs ? UserDefaults::standardPath()
                  : AgentList::find(folder == u"/.cursor" ? u"cursor" : u"claude-code")->configPath();
        QFile seed(file);
        QVERIFY(seed.open(QIODevice::WriteOnly) &&
                seed.write(R"({"version": 1, "hooks": {}, "OverlayMode": "row"})") > 0);
        seed.close();
        const QByteArray before = contentsOf(file);
        const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        QFile filler(dir + QStringLiteral("/.filler"));
        if (readOnly) {
            QCOMPARE(::mount("tmpfs", mountPoint, "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
        } else {
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(512, 'x')) > 0) {
            }
        }

        RecordingLog log;
        UserDefaults defaults(UserDefaults::standardPath());
        if (prefs) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cannot write ")));
            QVERIFY(!defaults.setString(QStringLiteral("OverlayMode"), QStringLiteral("combined")));
            QCOMPARE(defaults.stringValue(QStringLiteral("OverlayMode")).value_or(QString()), u"combined");
        } else {
            QVERIFY(!HookInstaller::install());
            QCOMPARE(log.lines.size(), 1);
        }
        QCOMPARE(contentsOf(file), before);
        QStringList after = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        after.removeAll(QStringLiteral(".filler"));
        QCOMPARE(after, entries);

        if (readOnly)
            QCOMPARE(::mount("tmpfs", mountPoint, "tmpfs", MS_REMOUNT, nullptr), 0);
        else
            QVERIFY(filler.remove());
        QVERIFY(prefs ? defaults.setBool(QStringLiteral("KorvaneHasLaunched"), true)
                      : HookInstaller::install() && HookInstaller::isInstalled());
    }
};

KORVANE_TEST_MAIN(TestWriteFailures)
#include "tst_writefailures.moc"
