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
};

KORVANE_TEST_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
