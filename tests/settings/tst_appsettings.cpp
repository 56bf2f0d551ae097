#include "TestMain.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"

#include <QFile>
#include <QTemporaryDir>

using namespace korvane;

namespace {

// What a fresh start makes of the stored file, as one comparable line.
QString loaded(const AppSettings& s)
{
    return QStringLiteral("%1 %2 %3 %4 %5 [%6]")
        .arg(rawValue(s.overlayMode()), rawValue(s.orientation()))
        .arg(s.showLabels())
        .arg(s.perTab())
        .arg(s.scale())
        .arg(s.lightOrder().join(u','));
}

} // namespace

class TestAppSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    int m_run = 0;

private Q_SLOTS:
    void init() { m_path = m_dir.filePath(QStringLiteral("defaults-%1.json").arg(++m_run)); }

    void assignmentsSurviveARestart_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mode") << 0 << "perWindow vertical 1 0 1 []";
        QTest::newRow("orientation") << 1 << "combined horizontal 1 0 1 []";
        QTest::newRow("labels") << 2 << "combined vertical 0 0 1 []";
        QTest::newRow("per tab") << 3 << "combined vertical 1 1 1 []";
        QTest::newRow("scale") << 4 << "combined vertical 1 0 1.75 []";
        QTest::newRow("scale above") << 5 << "combined vertical 1 0 3 []";
        QTest::newRow("scale below") << 6 << "combined vertical 1 0 0.5 []";
        QTest::newRow("order") << 7 << "combined vertical 1 0 1 [/b,/a]";
    }
    void assignmentsSurviveARestart()
    {
        QFETCH(int, which);
        QFETCH(QString, expected);
        {
            UserDefaults defaults(m_path);
            AppSettings s(defaults);
            const std::function<void()> assign[] = {
                [&] { s.setOverlayMode(OverlayMode::PerWindow); },
                [&] { s.setOrientation(OverlayOrientation::Horizontal); },
                [&] { s.setShowLabels(false); },
                [&] { s.setPerTab(true); },
                [&] { s.setScale(1.75); },
                [&] { s.setScale(3.25); },
                [&] { s.setScale(0.4); },
                [&] {
                    s.setLightOrder({QStringLiteral("/b"), QStringLiteral("/a")});
                },
            };
            assign[which]();
            QCOMPARE(loaded(s), expected);
        }
        UserDefaults defaults(m_path);
        QCOMPARE(loaded(AppSettings(defaults)), expected);
    }
};

KORVANE_TEST_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
