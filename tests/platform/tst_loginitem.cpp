#include "TestMain.h"
#include "platform/LoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

using namespace korvane;

Q_DECLARE_METATYPE(korvane::LoginItem::Status)

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray entry(const QByteArray& extraLines, const QByteArray& exec)
{
    return "[Desktop Entry]\nType=Application\nName=Korvane\nExec=" + exec + "\n" + extraLines;
}

} // namespace

class TestLoginItem : public QObject {
    Q_OBJECT

    QString m_entryPath;

private Q_SLOTS:
    void init()
    {
        m_entryPath = XdgAutostartLoginItem::defaultEntryPath();
        QDir(QFileInfo(m_entryPath).absolutePath()).removeRecursively();
    }

    void entryLivesInTheUsersAutostartFolder()
    {
        QCOMPARE(m_entryPath, QDir::homePath() + QStringLiteral("/.config/autostart/korvane.desktop"));
    }

    void registerWritesAnEntryForTheRunningBinary()
    {
        XdgAutostartLoginItem item;
        QCOMPARE(item.status(), LoginItem::Status::NotRegistered);
        QString error;
        QVERIFY(item.registerItem(&error));
        QVERIFY(error.isEmpty());
        QCOMPARE(item.status(), LoginItem::Status::Enabled);

        QFile file(m_entryPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nType=Application\n"));
        const auto lines = text.split('\n');
        const auto exec = std::find_if(lines.begin(), lines.end(),
                                       [](const QByteArray& l) { return l.startsWith("Exec="); });
        QVERIFY(exec != lines.end());
        QCOMPARE(XdgAutostartLoginItem::execArguments(QString::fromUtf8(exec->mid(5))),
                 QStringList{QCoreApplication::applicationFilePath()});
    }

    void unregisterRemovesTheEntry()
    {
        XdgAutostartLoginItem item;
        QVERIFY(item.registerItem(nullptr));
        QString error;
        QVERIFY(item.unregisterItem(&error));
        QVERIFY(!QFileInfo::exists(m_entryPath));
        QCOMPARE(item.status(), LoginItem::Status::NotRegistered);
        // Nothing to remove is no failure.
        QVERIFY(item.unregisterItem(&error));
        QVERIFY(error.isEmpty());
    }

    void statusIsReadBackEveryTime()
    {
        XdgAutostartLoginItem item;
        QVERIFY(item.registerItem(nullptr));
        QCOMPARE(item.status(), LoginItem::Status::Enabled);
        QVERIFY(QFile::remove(m_entryPath)); // removed behind its back, e.g. in the desktop's settings
        QCOMPARE(item.status(), LoginItem::Status::NotRegistered);
    }

    void status_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<LoginItem::Status>("status");

        const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
        using S = LoginItem::Status;
        QTest::newRow("plain entry") << entry("", self) << S::Enabled;
        QTest::newRow("Hidden=true is a deleted entry") << entry("Hidden=true\n", self) << S::NotRegistered;
        QTest::newRow("Hidden=false") << entry("Hidden=false\n", self) << S::Enabled;
        QTest::newRow("switched off by the desktop")
            << entry("X-GNOME-Autostart-enabled=false\n", self) << S::RequiresApproval;
        QTest::newRow("switched on explicitly")
            << entry("X-GNOME-Autostart-enabled=true\n", self) << S::Enabled;
        QTest::newRow("spaces around the equals sign") << entry("Hidden = true\n", self) << S::NotRegistered;
        QTest::newRow("localised key is another key") << entry("Hidden[de]=true\n", self) << S::Enabled;
        QTest::newRow("Hidden in another group")
            << entry("[Desktop Action quit]\nHidden=true\n", self) << S::Enabled;
        QTest::newRow("program moved away") << entry("", "/nonexistent/korvane") << S::NotFound;
        QTest::newRow("program found on PATH") << entry("", "sh") << S::Enabled;
        QTest::newRow("program with field code") << entry("", self + " %U") << S::Enabled;
        QTest::newRow("no Exec line") << QByteArray("[Desktop Entry]\nType=Application\n") << S::NotFound;
        QTest::newRow("empty file") << QByteArray() << S::NotFound;
    }
    void status()
    {
        QFETCH(QByteArray, content);
        QFETCH(LoginItem::Status, status);
        writeFile(m_entryPath, content);
        QCOMPARE(XdgAutostartLoginItem().status(), status);
    }

    void registerTurnsAnyEntryBackOn_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("hidden") << entry("Hidden=true\n", "/usr/bin/true");
        QTest::newRow("switched off") << entry("X-GNOME-Autostart-enabled=false\n", "/usr/bin/true");
        QTest::newRow("stale program") << entry("", "/nonexistent/korvane");
    }
    void registerTurnsAnyEntryBackOn()
    {
        QFETCH(QByteArray, content);
        writeFile(m_entryPath, content);
        XdgAutostartLoginItem item;
        QVERIFY(item.status() != LoginItem::Status::Enabled);
        QVERIFY(item.registerItem(nullptr));
        QCOMPARE(item.status(), LoginItem::Status::Enabled);
    }

    void registerFails_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::newRow("autostart is a file") << "file";
        QTest::newRow("entry is a folder") << "folder";
        QTest::newRow("read-only autostart folder") << "read-only";
    }
    void registerFails()
    {
        QFETCH(QString, blocker);
        const QString dir = QFileInfo(m_entryPath).absolutePath();
        if (blocker == u"file") {
            writeFile(dir, "not a folder");
        } else if (blocker == u"folder") {
            QVERIFY(QDir().mkpath(m_entryPath));
        } else {
            if (::geteuid() == 0)
                QSKIP("root writes into read-only folders");
            QVERIFY(QDir().mkpath(dir));
            QVERIFY(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
        XdgAutostartLoginItem item;
        QString error;
        QVERIFY(!item.registerItem(&error));
        QVERIFY2(error.contains(dir), qPrintable(error));
        QVERIFY(item.status() != LoginItem::Status::Enabled);

        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::remove(dir);
        QDir().rmdir(m_entryPath);
    }

    void execRoundTrip_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("plain") << "/usr/bin/korvane";
        QTest::newRow("space") << "/opt/My Apps/korvane";
        QTest::newRow("dollar and backtick") << "/home/u/$HOME/`x`/korvane";
        QTest::newRow("double quote") << "/tmp/a\"b/korvane";
        QTest::newRow("backslash") << "/tmp/a\\b/korvane";
        QTest::newRow("percent") << "/tmp/100%/korvane";
        QTest::newRow("percent and space") << "/tmp/100 %f/korvane";
        QTest::newRow("single quote and semicolon") << "/tmp/it's;here/korvane";
        QTest::newRow("unicode") << QString::fromUtf8("/home/j\u00f6rg/Programme/korvane");
    }
    void execRoundTrip()
    {
        QFETCH(QString, program);
        const QString value = XdgAutostartLoginItem::execValue(program);
        QCOMPARE(XdgAutostartLoginItem::execArguments(value), QStringList{program});
    }

    void execArguments_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("bare") << "korvane" << QStringList{"korvane"};
        QTest::newRow("field codes dropped") << "korvane %U --x %f" << QStringList{"korvane", "--x"};
        QTest::newRow("quoted with escapes, as written in the file")
            << R"("/opt/a b/\\$x" --flag)" << QStringList{"/opt/a b/$x", "--flag"};
        // String escapes are undone before quoting, so an escaped space still separates.
        QTest::newRow("string escape for a space")
            << R"(/opt/a\sb/korvane)" << QStringList{"/opt/a", "b/korvane"};
        QTest::newRow("extra spaces") << "  korvane   --a  " << QStringList{"korvane", "--a"};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void execArguments()
    {
        QFETCH(QString, value);
        QFETCH(QStringList, arguments);
        QCOMPARE(XdgAutostartLoginItem::execArguments(value), arguments);
    }
};

KORVANE_TEST_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
