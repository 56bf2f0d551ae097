// Writes that fail: a read-only folder, a full disk. The writer reports
// failure, the file already there is untouched, nothing is left behind, and
// the next write after the fault is lifted succeeds.
#include "Faults.h"
#include "TestMain.h"
#include "platform/UserDefaults.h"

#if __has_include("hooks/HookInstaller.h")
#include "hooks/HookInstaller.h"
#define KORVANE_HAVE_HOOKS 1
#endif

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
using namespace korvane::test;

namespace {

// Puts a fault on a folder for the life of the object: a tmpfs remounted
// read-only or filled up (root), or mode 0555 (other users, read-only only).
class FolderFault {
public:
    FolderFault(const QString& dir, const QString& kind) : m_dir(dir), m_kind(kind) {}

    // Mounts the tmpfs (when root) before the old files are put in place.
    QString prepare()
    {
        if (::geteuid() == 0) {
            m_mount = std::make_unique<TmpfsMount>(m_dir, 64);
            return m_mount->isMounted() ? QString() : m_mount->error();
        }
        QDir().mkpath(m_dir);
        return m_kind == u"read-only" ? QString() : QStringLiteral("filling a disk needs root (tmpfs)");
    }
    bool apply()
    {
        if (m_mount)
            return m_kind == u"read-only" ? m_mount->remountReadOnly() : m_mount->fill();
        return QFile::setPermissions(m_dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    void lift()
    {
        if (!m_mount) {
            QFile::setPermissions(m_dir,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            return;
        }
        if (m_kind == u"read-only")
            QVERIFY(TmpfsMount::remountWritable(m_dir));
        else
            QVERIFY(QFile::remove(m_dir + QStringLiteral("/.filler")));
    }
    QStringList files() const
    {
        QStringList names = QDir(m_dir).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral(".filler"));
        return names;
    }
    QStringList entries() const
    {
        QStringList names = QDir(m_dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        names.removeAll(QStringLiteral(".filler"));
        return names;
    }

private:
    QString m_dir;
    QString m_kind;
    std::unique_ptr<TmpfsMount> m_mount;
};

} // namespace

class TestWriteFailures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void preferences_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only folder") << "read-only";
        QTest::newRow("full disk") << "full";
    }
    void preferences()
    {
        QFETCH(QString, fault);
        const QString dir = QDir::homePath() + QStringLiteral("/.config/Korvane-") + fault;
        FolderFault guard(dir, fault);
        if (const QString why = guard.prepare(); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString path = dir + QStringLiteral("/defaults.json");
        {
            UserDefaults seed(path);
            QVERIFY(seed.setString(QStringLiteral("OverlayMode"), QStringLiteral("perWindow")));
        }
        const QByteArray old = readBytes(path);
        QVERIFY(guard.apply());

        UserDefaults defaults(path);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cannot write ")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cannot write ")));
        QVERIFY(!defaults.setString(QStringLiteral("OverlayMode"), QStringLiteral("row")));
        QVERIFY(!defaults.setStringList(QStringLiteral("OverlayLightOrder"), {QString(200, u'x')}));
        QCOMPARE(readBytes(path), old);
        QCOMPARE(guard.entries(), QStringList{QStringLiteral("defaults.json")});
        // The running program keeps the values it was given.
        QCOMPARE(defaults.stringValue(QStringLiteral("OverlayMode")), QStringLiteral("row"));

        guard.lift();
        QVERIFY(defaults.setBool(QStringLiteral("KorvaneHasLaunched"), true));
        UserDefaults reloaded(path);
        QCOMPARE(reloaded.stringValue(QStringLiteral("OverlayMode")), QStringLiteral("row"));
        QCOMPARE(reloaded.stringListValue(QStringLiteral("OverlayLightOrder"))->size(), qsizetype(1));
    }

    // install() on a read-only or full ~/.cursor or ~/.claude: false, one log
    // line, the user's file as it was, and a later install() that works.
    void hookInstall_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only ~/.cursor") << ".cursor"
                                             << "read-only";
        QTest::newRow("read-only ~/.claude") << ".claude"
                                             << "read-only";
        QTest::newRow("full disk under ~/.cursor") << ".cursor"
                                                   << "full";
        QTest::newRow("full disk under ~/.claude") << ".claude"
                                                   << "full";
    }
    void hookInstall()
    {
#ifndef KORVANE_HAVE_HOOKS
        QSKIP("the hook installer is not part of this build");
#else
        QFETCH(QString, folder);
        QFETCH(QString, fault);
        const QString home = QDir::homePath();
        for (const char* dir : {"/.cursor", "/.claude"})
            QVERIFY(QDir(home + QString::fromLatin1(dir)).removeRecursively());
        FolderFault guard(home + u'/' + folder, fault);
        if (const QString why = guard.prepare(); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/.cursor")));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/.claude")));

        // The user's own files, which a failed install must leave exactly so.
        const QByteArray cursorOld = "{\"version\": 1, \"hooks\": {\"stop\": [{\"command\": \"mine\"}]}}";
        const QByteArray claudeOld = "{\"model\": \"x\", \"hooks\": {}}";
        QVERIFY(writeBytes(HookInstaller::cursorConfigPath(), cursorOld));
        QVERIFY(writeBytes(HookInstaller::claudeSettingsPath(), claudeOld));
        const QString faulted =
            folder == u".cursor" ? HookInstaller::cursorConfigPath() : HookInstaller::claudeSettingsPath();
        const QByteArray before = readBytes(faulted);
        const QStringList entriesBefore = guard.files();
        QVERIFY(guard.apply());

        RecordingLog log;
        QVERIFY(!HookInstaller::install());
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(log.lines.front().startsWith(QStringLiteral("Korvane: hook install failed: ")),
                 qPrintable(log.lines.front()));
        QCOMPARE(readBytes(faulted), before);
        // Nothing half-written left behind (install() may have made ~/.cursor/hooks first).
        QCOMPARE(guard.files(), entriesBefore);
        QVERIFY(
            QDir(home + QStringLiteral("/.cursor/hooks")).entryList(QDir::Files | QDir::Hidden).isEmpty() ||
            folder != u".cursor");
        if (folder == u".claude") {
            // Cursor's configuration was merged before the failing step and stays so.
            QVERIFY(readBytes(HookInstaller::cursorConfigPath()).contains("signalwick.sh"));
        }

        guard.lift();
        QVERIFY(HookInstaller::install());
        QVERIFY(HookInstaller::isInstalled());
        QVERIFY(readBytes(HookInstaller::claudeSettingsPath()).contains("\"model\""));
#endif
    }
};

KORVANE_TEST_MAIN(TestWriteFailures)
#include "tst_writefailures.moc"
