#include "FakeClock.h"
#include "TestMain.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/OverlayPanel.h"
#include "overlay/TrafficLightOverlay.h"
#include "overlay/WindowLightView.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/LightRows.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

using namespace korvane;

namespace {
const QRect kLaptop(0, 0, 1440, 875);
const QRect kRightOfIt(1440, 0, 1920, 1050);
} // namespace

class TestTrafficLightOverlay : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_path;
    test::FakeClock m_clock;
    StatusStore m_store{m_clock};
    std::optional<UserDefaults> m_defaults;
    std::optional<AppSettings> m_settings;
    std::optional<LightRows> m_rows;
    std::optional<TrafficLightOverlay> m_overlay;

    // A launch over the preference file, the lights shown, after `stored` was written to it.
    TrafficLightOverlay& launch(const QStringList& stored = {})
    {
        m_overlay.reset();
        for (qsizetype i = 0; i + 1 < stored.size(); i += 2)
            UserDefaults(m_path).setValue(stored.at(i),
                                          nlohmann::json::parse(stored.at(i + 1).toStdString()));
        m_defaults.emplace(m_path);
        m_settings.emplace(*m_defaults);
        m_rows.emplace(m_store, *m_settings);
        m_overlay.emplace(*m_rows, *m_settings, *m_defaults);
        m_settings->setOverlayVisible(true);
        m_overlay->rebuild();
        return *m_overlay;
    }
    // One idle conversation per "workspace/conversation".
    void conversations(const QStringList& entries)
    {
        QDir(m_store.stateDir()).removeRecursively();
        QDir().mkpath(m_store.stateDir());
        for (const QString& entry : entries) {
            const QStringList part = entry.split(u'/');
            QFile f(m_store.stateDir() + u'/' + part.join(u'-') + u".json"_qs);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral(R"({"state":"idle","ts":%1,"workspace":"/w/%2","conversation_id":"%3"})")
                        .arg(QString::number(m_clock.now() - 5, 'f', 3), part.at(0), part.at(1))
                        .toUtf8());
        }
        m_store.refresh();
    }
    static void click(OverlayPanel* panel, QPoint from, QPoint to)
    {
        QTest::mousePress(panel, Qt::LeftButton, {}, from);
        if (to != from)
            QTest::mouseMove(panel, to);
        QTest::mouseRelease(panel, Qt::LeftButton, {}, to);
    }

private Q_SLOTS:
    void init()
    {
        m_path = m_tmp.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QTest::currentDataTag());
    }
    void cleanup() { m_overlay.reset(); }

    void savedPlacesAtLaunch_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QPoint>("expected");
        QTest::addColumn<QString>("saved");
        QTest::newRow("combined") << "combined" << QPoint(300, 400) << "{300, 400}";
        QTest::newRow("row") << "row" << QPoint(300, 400) << "{300, 400}";
        QTest::newRow("window") << "perWindow" << QPoint(300, 400) << "{300, 400}";
        // The offscreen screen is 800 x 600; the light is 52 wide.
        QTest::newRow("on no screen") << "combined" << QPoint(748, 0) << "{99999, -500}";
    }
    void savedPlacesAtLaunch()
    {
        QFETCH(QString, mode);
        QFETCH(QPoint, expected);
        QFETCH(QString, saved);
        const QString key = mode == u"row"         ? u"OverlayOriginRow"_qs
                            : mode == u"perWindow" ? u"OverlayOrigin::/w/a"_qs
                                                   : u"OverlayOrigin"_qs;
        conversations({u"a/1"_qs});
        launch({u"OverlayMode"_qs, u'"' + mode + u'"', key, u'"' + saved + u'"'});
        QList<OverlayPanel*> panels = m_overlay->windowPanels().values();
        panels << m_overlay->combinedPanel() << m_overlay->rowPanel();
        panels.removeAll(nullptr);
        QCOMPARE(panels.size(), 1);
        QCOMPARE(panels.first()->origin(), expected);
        QTRY_COMPARE(panels.first()->pos(), expected);
        QCOMPARE(m_defaults->stringValue(key).value_or(QString()), saved); // kept for when its screen is back
    }

    void onlyARealDragIsSaved()
    {
        OverlayPanel* panel = launch().combinedPanel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        const QPoint dropped = panel->origin() + QPoint(-30, 50);
        click(panel, QPoint(40, 10), QPoint(10, 60));
        const QString saved = OverlayGeometry::formatPoint(dropped);
        QCOMPARE(m_defaults->stringValue(u"OverlayOrigin"_qs).value_or(QString()), saved);
        // What some window managers make Qt report right after showing, then a click.
        panel->move(0, 0);
        click(panel, QPoint(10, 10), QPoint(10, 10));
        QCOMPARE(m_defaults->stringValue(u"OverlayOrigin"_qs).value_or(QString()), saved);
        QCOMPARE(panel->origin(), dropped);
    }

    void newWindowLightsTakeEverySecondSlot()
    {
        conversations({u"a/1"_qs, u"b/1"_qs, u"c/1"_qs});
        TrafficLightOverlay& overlay = launch({u"OverlayMode"_qs, u"\"perWindow\""_qs});
        const QStringList ids = overlay.currentRowIDs();
        QCOMPARE(ids.size(), 3);
        for (int i = 0; i < 3; ++i) {
            OverlayPanel* panel = overlay.windowPanels().value(ids.at(i));
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            QCOMPARE(panel->origin(), OverlayGeometry::defaultOrigin(screen, panel->size(), 2 * i));
        }
    }

    void tabLightsAreNumberedWithinTheirWindow()
    {
        conversations({u"a/2"_qs, u"a/1"_qs, u"b/9"_qs});
        QStringList captions;
        for (OverlayPanel* panel :
             launch({u"OverlayMode"_qs, u"\"perWindow\""_qs, u"OverlayPerTab"_qs, u"true"_qs}).windowPanels())
            captions.append(*panel->findChild<WindowLightView*>()->label());
        captions.sort();
        QCOMPARE(captions, (QStringList{"a #1", "a #2", "b"}));
    }

    void rowAtTheRightGrowsLeftward()
    {
        conversations({u"a/1"_qs, u"b/1"_qs});
        OverlayPanel* row =
            launch({u"OverlayMode"_qs, u"\"row\""_qs, u"OverlayOrientation"_qs, u"\"horizontal\""_qs})
                .rowPanel();
        const QRect before(row->origin(), row->size());
        conversations({u"a/1"_qs, u"b/1"_qs, u"c/1"_qs});
        QTRY_VERIFY(row->width() > before.width());
        QCOMPARE(row->origin().x() + row->width(), before.x() + before.width());
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(
            QRect(row->origin(), row->size())));
    }

    // The placement rules alone.
    void defaultPlaces_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("first") << kLaptop << QSize(94, 138) << 0 << QPoint(1324, 12);
        QTest::newRow("last of a line") << kLaptop << QSize(94, 138) << 12 << QPoint(52, 12);
        QTest::newRow("next line") << kLaptop << QSize(94, 138) << 13 << QPoint(1324, 162);
        QTest::newRow("large lights wrap sooner") << kLaptop << QSize(278, 410) << 4 << QPoint(1140, 434);
        QTest::newRow("past the last line") << kLaptop << QSize(94, 420) << 26 << QPoint(1324, 12);
    }
    void defaultPlaces()
    {
        QFETCH(QRect, available);
        QFETCH(QSize, size);
        QFETCH(int, slot);
        QFETCH(QPoint, expected);
        QCOMPARE(OverlayGeometry::defaultOrigin(available, size, slot), expected);
        for (int s = 0; s < 100; ++s)
            QVERIFY(available.contains(QRect(OverlayGeometry::defaultOrigin(available, size, s), size)));
    }

    void savedPlacesAreFitted_data()
    {
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QPoint>("origin");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("expected");
        const QList<QRect> two{kLaptop, kRightOfIt};
        QTest::newRow("inside") << two << QPoint(100, 100) << QSize(52, 120) << QPoint(100, 100);
        QTest::newRow("screen gone") << two << QPoint(4000, 500) << QSize(52, 120) << QPoint(3308, 500);
        QTest::newRow("across two") << two << QPoint(1420, 100) << QSize(52, 120) << QPoint(1440, 100);
        QTest::newRow("below, on the taller")
            << two << QPoint(1500, 1000) << QSize(52, 120) << QPoint(1500, 930);
        QTest::newRow("no screen") << QList<QRect>() << QPoint(200, 800) << QSize(52, 120)
                                   << QPoint(200, 800);
    }
    void savedPlacesAreFitted()
    {
        QFETCH(QList<QRect>, screens);
        QFETCH(QPoint, origin);
        QFETCH(QSize, size);
        QFETCH(QPoint, expected);
        QCOMPARE(OverlayGeometry::fitted(origin, size, screens), expected);
    }
};

KORVANE_GUI_TEST_MAIN(TestTrafficLightOverlay)
#include "tst_trafficlightoverlay.moc"
