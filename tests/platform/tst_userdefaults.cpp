#include "TestMain.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace korvane;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestUserDefaults : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    int m_run = 0;

private Q_SLOTS:
    void init() { m_path = m_dir.path() + QStringLiteral("/%1/Korvane/defaults.json").arg(++m_run); }

    void unreadableFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("garbage") << QByteArray("not json at all");
        QTest::newRow("cut short") << QByteArray("{\"OverlayMode\": \"row\", \"Overlay");
        QTest::newRow("array") << QByteArray("[\"OverlayMode\", \"row\"]");
        QTest::newRow("invalid utf-8") << QByteArray("{\"a\": \"\xff\xfe\"}");
    }
    void unreadableFileIsSetAside()
    {
        QFETCH(QByteArray, bad);
        writeAll(m_path, bad);
        UserDefaults d(m_path);
        QVERIFY(!d.contains(QStringLiteral("OverlayMode")));
        QVERIFY(d.setBool(QStringLiteral("A"), true));
        QCOMPARE(readAll(m_path + QStringLiteral(".bad")), bad);
        QCOMPARE(UserDefaults(m_path).boolValue(QStringLiteral("A")), std::optional<bool>(true));
        // A second damaged file keeps the first copy.
        writeAll(m_path, "again");
        QVERIFY(UserDefaults(m_path).setBool(QStringLiteral("A"), true));
        QCOMPARE(readAll(m_path + QStringLiteral(".bad")), bad);
        QCOMPARE(readAll(m_path + QStringLiteral(".bad.1")), QByteArray("again"));
    }
    void oneUnreadableNumberFallsBackAlone_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("too large") << QByteArray(R"({"OverlayScale": 1e400, "OverlayMode": "row", "n": 2})");
        QTest::newRow("too negative, in a list")
            << QByteArray(R"({"OverlayScale": [-1e999, 1], "OverlayMode": "row", "n": 2.0})");
        QTest::newRow("digits only") << QByteArray("{\"OverlayScale\": 1" + QByteArray(400, '0') +
                                                   R"(, "OverlayMode": "row", "n": 2E0})");
        QTest::newRow("beside a tiny one")
            << QByteArray("{\"OverlayScale\": 1e400, \"OverlayMode\": \"row\", \"n\": 2, \"t\": \"\\\" "
                          "1e400\", \"z\": 1e-400}");
    }
    void oneUnreadableNumberFallsBackAlone()
    {
        QFETCH(QByteArray, text);
        writeAll(m_path, text);
        UserDefaults d(m_path);
        QVERIFY(!d.doubleValue(u"OverlayScale"_qs));
        QVERIFY(d.setBool(u"A"_qs, true));
        const UserDefaults reloaded(m_path);
        QCOMPARE(reloaded.stringValue(u"OverlayMode"_qs).value_or(QString()), u"row"_qs);
        QCOMPARE(reloaded.doubleValue(u"n"_qs).value_or(0), 2.0);
        QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".bad")));
    }

    void configHomeIsHonoured_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute") << QByteArray("/tmp/cfg") << "/tmp/cfg/Korvane/defaults.json";
        QTest::newRow("unset") << QByteArray() << QDir::homePath() + "/.config/Korvane/defaults.json";
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
};

KORVANE_TEST_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
