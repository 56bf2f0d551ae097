#include "TestMain.h"
#include "platform/LoginItem.h"

#include <QTemporaryDir>

using namespace korvane;

Q_DECLARE_METATYPE(korvane::LoginItem::Status)

class TestLoginItem : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    // An entry written for a program at an awkward path starts that very program.
    void registerRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("space") << "My Apps/korvane";
        QTest::newRow("shell characters") << "$HOME `x` it's;a\"b\\c/korvane";
        QTest::newRow("percent") << "100 %f/korvane";
    }
    void registerRoundTrip()
    {
        QFETCH(QString, name);
        const QString program = m_dir.filePath(name);
        QVERIFY(QDir().mkpath(QFileInfo(program).absolutePath()));
        QVERIFY(QFile::copy(QStringLiteral("/bin/true"), program));
        XdgAutostartLoginItem entry(XdgAutostartLoginItem::defaultEntryPath(), program);
        QCOMPARE(entry.status(), LoginItem::Status::NotRegistered);
        QVERIFY(entry.registerItem(nullptr));
        QCOMPARE(entry.status(), LoginItem::Status::Enabled);
        QVERIFY(entry.unregisterItem(nullptr));
        QCOMPARE(entry.status(), LoginItem::Status::NotRegistered);
    }

    void status_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<LoginItem::Status>("status");
        const QByteArray self = "Exec=" + QFile::encodeName(QCoreApplication::applicationFilePath()) + '\n';
        using S = LoginItem::Status;
        QTest::newRow("deleted") << self + "Hidden=true\n" << S::NotRegistered;
        QTest::newRow("switched off in the desktop's settings") << self + "X-GNOME-Autostart-enabled=false\n"
                                                                << S::RequiresApproval;
        QTest::newRow("Hidden of another group") << self + "[Desktop Action q]\nHidden=true\n" << S::Enabled;
        QTest::newRow("field code") << QByteArray("Exec=sh %U\n") << S::Enabled;
        QTest::newRow("program moved away") << QByteArray("Exec=/nonexistent/korvane\n") << S::NotFound;
        QTest::newRow("no Exec") << QByteArray() << S::NotFound;
    }
    void status()
    {
        QFETCH(QByteArray, lines);
        QFETCH(LoginItem::Status, status);
        XdgAutostartLoginItem item;
        QVERIFY(QDir().mkpath(QFileInfo(item.entryPath()).absolutePath()));
        QFile file(item.entryPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Desktop Entry]\nType=Application\n" + lines);
        file.close();
        QCOMPARE(item.status(), status);
    }
};

KORVANE_TEST_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
