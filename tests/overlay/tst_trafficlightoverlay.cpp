#include "FakeClock.h"
#include "TestMain.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/OverlayPanel.h"
#include "overlay/TrafficLightOverlay.h"
#include "overlay/WindowLightView.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/DefaultsKeys.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <memory>

using namespace korvane;

class TestTrafficLightOverlay : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_defaultsPath;
    int m_run = 0;
    test::FakeClock m_clock;
    std::unique_ptr<StatusStore> m_store;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<TrafficLightOverlay> m_overlay;

    // A launch over the same preference file, the lights shown.
    TrafficLightOverlay& launch()
    {
        m_overlay.reset();
        m_settings.reset();
        m_defaults = std::make_unique<UserDefaults>(m_defaultsPath);
        m_settings = std::make_unique<AppSettings>(*m_defaults);
        m_overlay = std::make_unique<TrafficLightOverlay>(*m_store, *m_settings, *m_defaults);
        m_defaults->setBool(DefaultsKeys::overlayWasVisible.key(), true);
        m_overlay->rebuild();
        QCoreApplication::processEvents();
        return *m_overlay;
    }
    // One conversation per entry, "workspace/conversation", all idle.
    void conversations(const QStringList& entries)
    {
        const QString dir = m_store->stateDir();
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        for (const QString& entry : entries) {
            const QStringList parts = entry.split(u'/');
            QFile f(dir + u'/' + parts.join(u'-') + QStringLiteral(".json"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral(R"({"state":"idle","ts":%1,"workspace":"/w/%2","conversation_id":"%3"})")
                        .arg(QString::number(m_clock.now() - 5, 'f', 3))
                        .arg(parts.at(0), parts.at(1))
                        .toUtf8());
        }
        m_store->refresh();
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
        m_defaultsPath = m_tmp.filePath(QStringLiteral("defaults-%1.json").arg(++m_run));
        m_store = std::make_unique<StatusStore>(m_clock);
        conversations({});
    }
    void cleanup() { m_overlay.reset(); }

    void savedOriginIsRestoredAtLaunch_data()
    {
        QTest::addColumn<OverlayMode>("mode");
        QTest::addColumn<QString>("key");
        QTest::newRow("combined") << OverlayMode::Combined << "OverlayOrigin";
        QTest::newRow("row") << OverlayMode::Row << "OverlayOriginRow";
        QTest::newRow("window") << OverlayMode::PerWindow << "OverlayOrigin::/w/a";
    }
    void savedOriginIsRestoredAtLaunch()
    {
        QFETCH(OverlayMode, mode);
        QFETCH(QString, key);
        conversations({QStringLiteral("a/1")});
        UserDefaults(m_defaultsPath).setString(key, QStringLiteral("{300, 400}"));
        UserDefaults(m_defaultsPath).setString(DefaultsKeys::mode.key(), rawValue(mode));
        TrafficLightOverlay& overlay = launch();
        OverlayPanel* panel = mode == OverlayMode::Combined ? overlay.combinedPanel()
                              : mode == OverlayMode::Row    ? overlay.rowPanel()
                                                            : overlay.windowPanels().value(u"/w/a"_qs);
        QVERIFY(panel);
        QCOMPARE(panel->origin(), QPoint(300, 400));
        QTRY_COMPARE(panel->pos(), QPoint(300, 400));
    }

    void onlyARealDragIsSaved()
    {
        OverlayPanel* panel = launch().combinedPanel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        const QPoint dropped = panel->origin() + QPoint(30, 50);
        click(panel, QPoint(10, 10), QPoint(40, 60));
        const auto saved = OverlayGeometry::formatPoint(dropped);
        QCOMPARE(m_defaults->stringValue(u"OverlayOrigin"_qs), saved);

        panel = launch().combinedPanel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QCOMPARE(panel->origin(), dropped);
        // What some window managers make Qt report right after showing, then a click.
        panel->move(0, 0);
        click(panel, QPoint(10, 10), QPoint(10, 10));
        QCOMPARE(m_defaults->stringValue(u"OverlayOrigin"_qs), saved);
        QCOMPARE(panel->origin(), dropped);
    }

    void newWindowPanelsTakeEverySecondSlot()
    {
        UserDefaults(m_defaultsPath).setString(DefaultsKeys::mode.key(), u"perWindow"_qs);
        conversations({QStringLiteral("a/1"), QStringLiteral("b/1"), QStringLiteral("c/1")});
        TrafficLightOverlay& overlay = launch();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QStringList ids = overlay.currentRowIDs();
        QCOMPARE(ids.size(), 3);
        for (int i = 0; i < 3; ++i) {
            OverlayPanel* panel = overlay.windowPanels().value(ids.at(i));
            QVERIFY(panel);
            QCOMPARE(panel->origin(), OverlayGeometry::defaultOrigin(available, panel->width(), 2 * i));
        }
    }

    void tabLightsAreNumberedWithinTheirWindow()
    {
        UserDefaults(m_defaultsPath).setString(DefaultsKeys::mode.key(), u"perWindow"_qs);
        UserDefaults(m_defaultsPath).setBool(DefaultsKeys::perTab.key(), true);
        conversations({QStringLiteral("a/2"), QStringLiteral("a/1"), QStringLiteral("b/9")});
        QStringList captions;
        for (OverlayPanel* panel : launch().windowPanels())
            captions.append(*panel->findChild<WindowLightView*>()->label());
        captions.sort();
        QCOMPARE(captions, (QStringList{"a #1", "a #2", "b"}));
    }
};

KORVANE_GUI_TEST_MAIN(TestTrafficLightOverlay)
#include "tst_trafficlightoverlay.moc"
