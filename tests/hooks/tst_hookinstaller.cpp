// HookInstaller against real files in a throw-away home: links, failures and
// later launches (the merges themselves: tst_agentconfigs).

#include "TestMain.h"
#include "agents/AgentList.h"
#include "hooks/HookInstaller.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <unistd.h>

using namespace korvane;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

} // namespace

class TestHookInstaller : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    test::RecordingLog m_log;

    QString home() const { return m_home->path(); }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(home()));
        m_log.lines.clear();
    }

    // Dotfiles kept in a repository are links: the link stays, and its target is
    // replaced, keeping its permissions. A link into a folder that is gone counts
    // as no file, and is kept aside.
    void links_data()
    {
        QTest::addColumn<QStringList>("link"); // the file, and its target from the file's folder
        QTest::newRow("hooks.json, relative") << QStringList{".cursor/hooks.json", "../dotfiles/hooks.json"};
        QTest::newRow("settings.json, absolute")
            << QStringList{".claude/settings.json", "<home>/dotfiles/s.json"};
        QTest::newRow("hooks.json, dangling") << QStringList{".cursor/hooks.json", "<home>/gone/x"};
        QTest::newRow("settings.json, dangling") << QStringList{".claude/settings.json", "<home>/gone/x"};
        QTest::newRow("the script, dangling") << QStringList{".cursor/hooks/signalwick.sh", "<home>/gone/x"};
    }
    void links()
    {
        QFETCH(QStringList, link);
        const QString target = link[1].replace("<home>", home());
        const QString path = home() + '/' + link[0];
        const QString resolved = QDir::cleanPath(QFileInfo(path).dir().absoluteFilePath(target));
        const bool dangling = target.contains("/gone/");
        QVERIFY(QDir().mkpath(home() + "/.claude") && QDir().mkpath(QFileInfo(path).path()));
        if (!dangling) {
            writeFile(resolved, R"({"mine":1.0})");
            QVERIFY(QFile::setPermissions(resolved, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join('\n')));
        QVERIFY(HookInstaller::isInstalled());
        QCOMPARE(m_log.lines.size(), int(dangling));
        QCOMPARE(QFileInfo(dangling ? path + ".korvane-backup" : path).symLinkTarget(), resolved);
        if (dangling)
            QVERIFY(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
        else
            QVERIFY(test::contentsOf(resolved).contains("\"mine\": 1.0") &&
                    (QFileInfo(resolved).permissions() & 0x777) == QFileDevice::Permissions(0x600));
    }

    void failureIsLogged()
    {
        QVERIFY(QDir().mkpath(AgentList::find(u"cursor")->configPath() + "/inside"));
        QVERIFY(!HookInstaller::install());
        QCOMPARE(m_log.lines.size(), 1);
        QVERIFY2(m_log.lines.first().startsWith("Korvane: hook install failed: "),
                 qPrintable(m_log.lines.first()));
        QVERIFY(QFileInfo(HookInstaller::scriptPath()).isExecutable());
        QVERIFY(!HookInstaller::isInstalled());
    }

    // At every launch: an open state folder is made private once, and files that
    // would not change are not written.
    void secondLaunch()
    {
        const QString state = home() + "/.cursor/signalwick/state";
        QStringList files = {HookInstaller::scriptPath()};
        for (const Agent* agent : AgentList::all()) // every agent's file, a plugin too
            files << (QDir().mkpath(home() + '/' + agent->folder()) ? agent->configPath() : QString());
        QVERIFY(QDir().mkpath(state));
        QVERIFY(QFile::setPermissions(state, QFileDevice::Permissions(0x7755)));
        QVERIFY(HookInstaller::install());
        QCOMPARE(QFileInfo(state).permissions() & 0x777, QFileDevice::Permissions(0x700));
        const QDateTime old = QDateTime::currentDateTime().addDays(-1);
        for (const QString& path : files) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        QVERIFY(HookInstaller::install());
        QCOMPARE(m_log.lines.size(), 1);
        for (const QString& path : files)
            QCOMPARE(QFileInfo(path).lastModified(), old);
    }
};

KORVANE_TEST_MAIN(TestHookInstaller)
#include "tst_hookinstaller.moc"
