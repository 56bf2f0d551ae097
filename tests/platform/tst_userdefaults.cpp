#include "TestMain.h"
#include "platform/LoginItem.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

using namespace korvane;

Q_DECLARE_METATYPE(korvane::LoginItem::Status)

namespace {

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestUserDefaults : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir;
    QString m_path;

private Q_SLOTS:
    void init() { m_path = m_dir.emplace().filePath(u"defaults.json"_qs); }

    // What loading a damaged file keeps ("row" when it kept OverlayMode), and
    // whether the file is set aside before the first write replaces it.
    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("garbage") << QByteArray("not json at all") << "" << true;
        QTest::newRow("cut short") << QByteArray("{\"OverlayMode\": \"row\", \"Overlay") << "" << true;
        QTest::newRow("array") << QByteArray(R"(["OverlayMode", "row"])") << "" << true;
        QTest::newRow("number too large")
            << QByteArray(R"({"OverlayScale": 1e400, "OverlayMode": "row"})") << "row" << false;
        QTest::newRow("too negative, in a list")
            << QByteArray(R"({"OverlayScale": [-1e999, 1], "OverlayMode": "row"})") << "row" << false;
        QTest::newRow("beside a string and a tiny one")
            << QByteArray("{\"OverlayScale\": 1e400, \"OverlayMode\": \"row\", \"t\": \"\\\" 1e400\", \"z\": "
                          "1e-400}")
            << "row" << false;
    }
    void damagedFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, kept);
        QFETCH(bool, setAside);
        writeAll(m_path, text);
        UserDefaults d(m_path);
        QVERIFY(!d.doubleValue(u"OverlayScale"_qs));
        QVERIFY(d.setBool(u"A"_qs, true));
        const UserDefaults reloaded(m_path);
        QCOMPARE(reloaded.stringValue(u"OverlayMode"_qs).value_or(QString()), kept);
        QVERIFY(reloaded.boolValue(u"A"_qs).value_or(false));
        QCOMPARE(test::contentsOf(m_path + u".bad"_qs), setAside ? text : QByteArray());
        // A second damaged file keeps the first copy.
        writeAll(m_path, "again");
        QVERIFY(UserDefaults(m_path).setBool(u"A"_qs, true));
        QCOMPARE(test::contentsOf(m_path + u".bad"_qs), setAside ? text : QByteArray("again"));
    }

    void configHomeIsHonoured_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute") << QByteArray("/tmp/cfg") << "/tmp/cfg/Korvane/defaults.json";
        QTest::newRow("relative") << QByteArray("cfg") << QDir::homePath() + "/.config/Korvane/defaults.json";
    }
    void configHomeIsHonoured()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, expected);
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config);
        const QString path = UserDefaults::standardPath();
        qputenv("XDG_CONFIG_HOME", saved);
        QCOMPARE(path, expected);
    }

    // The autostart entry.
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
        const QString program = m_dir->filePath(name);
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

KORVANE_TEST_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
