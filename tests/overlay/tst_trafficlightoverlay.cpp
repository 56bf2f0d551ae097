#include "FakeClock.h"
#include "StateFiles.h"
#include "TestMain.h"
#include "overlay/DotStripView.h"
#include "overlay/OverlayGeometry.h"
#include "overlay/OverlayPanel.h"
#include "overlay/TrafficLightOverlay.h"
#include "overlay/WindowLightView.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "status/StatusStore.h"

#include <QMenu>
#include <QMoveEvent>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <memory>

using namespace korvane;

namespace {

constexpr auto V = OverlayOrientation::Vertical;
constexpr auto H = OverlayOrientation::Horizontal;

enum class Pref { Mode, Orientation, PerTab, LightOrder, ShowLabels, Scale };

void settle()
{
    // Runs the queued deliveries (and whatever they queue in turn).
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

QRect available()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

} // namespace

class TestTrafficLightOverlay : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    int m_run = 0;
    QString m_defaultsPath;
    test::FakeClock m_clock;
    test::StateFiles m_files;
    std::unique_ptr<StatusStore> m_store;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<TrafficLightOverlay> m_overlay;

    double now() const { return m_clock.now(); }

    TrafficLightOverlay& overlay()
    {
        if (!m_overlay)
            m_overlay = std::make_unique<TrafficLightOverlay>(*m_store, *m_settings, *m_defaults);
        return *m_overlay;
    }
    // Shown as at launch: the flag set, then a rebuild.
    TrafficLightOverlay& shown()
    {
        m_defaults->setBool(TrafficLightOverlay::visibleKey(), true);
        overlay().rebuild();
        settle();
        return *m_overlay;
    }
    void window(const QString& name, const QString& state, double age)
    {
        m_files.write(name, state, now() - age, u"/w/"_qs + name, u"conv-"_qs + name);
    }
    // Simulates a restart: everything new over the same preference file.
    void restart()
    {
        m_overlay.reset();
        m_settings.reset();
        m_defaults = std::make_unique<UserDefaults>(m_defaultsPath);
        m_settings = std::make_unique<AppSettings>(*m_defaults);
    }
    OverlayPanel* windowPanel(const QString& name)
    {
        return overlay().windowPanels().value(u"/w/"_qs + name);
    }
    void drag(OverlayPanel* panel, QPoint from, QPoint to)
    {
        QTest::mousePress(panel, Qt::LeftButton, {}, from);
        QTest::mouseMove(panel, to);
        QTest::mouseRelease(panel, Qt::LeftButton, {}, to);
    }

private Q_SLOTS:
    void init()
    {
        m_files.clear();
        m_defaultsPath = m_tmp.filePath(QStringLiteral("defaults-%1.json").arg(++m_run));
        m_store = std::make_unique<StatusStore>(m_clock);
        m_defaults = std::make_unique<UserDefaults>(m_defaultsPath);
        m_settings = std::make_unique<AppSettings>(*m_defaults);
    }
    void cleanup()
    {
        m_overlay.reset();
        m_settings.reset();
        m_defaults.reset();
        m_store.reset();
    }

    void creationShowsNothing_data()
    {
        QTest::addColumn<bool>("flag");
        QTest::addColumn<OverlayMode>("mode");
        QTest::newRow("hidden") << false << OverlayMode::Combined;
        QTest::newRow("flag set, combined") << true << OverlayMode::Combined;
        QTest::newRow("flag set, row") << true << OverlayMode::Row;
    }
    void creationShowsNothing()
    {
        QFETCH(bool, flag);
        QFETCH(OverlayMode, mode);
        window(u"a"_qs, u"idle"_qs, 10);
        m_store->refresh();
        m_settings->setOverlayMode(mode);
        m_defaults->setBool(TrafficLightOverlay::visibleKey(), flag);
        overlay();
        settle(); // the store's first delivery arrives
        QCOMPARE(overlay().panelCount(), 0);
    }

    void toggleTwice()
    {
        QCOMPARE(TrafficLightOverlay::visibleKey(), u"OverlayWasVisible"_qs);
        overlay().toggle();
        QCOMPARE(m_defaults->boolValue(TrafficLightOverlay::visibleKey()), std::optional<bool>(true));
        QPointer<OverlayPanel> panel = overlay().combinedPanel();
        QVERIFY(panel);
        QVERIFY(panel->isVisible());

        overlay().toggle();
        QCOMPARE(m_defaults->boolValue(TrafficLightOverlay::visibleKey()), std::optional<bool>(false));
        QCOMPARE(overlay().panelCount(), 0);
        QVERIFY(!overlay().combinedPanel());
        QVERIFY(overlay().rowWindowIDs().isEmpty());
        QVERIFY(overlay().windowPanelScale().isEmpty());
        QTRY_VERIFY(panel.isNull());
    }

    void modeChangeWhileShown()
    {
        shown();
        QVERIFY(overlay().combinedPanel());
        const int rebuilds = overlay().rebuildCount();
        m_settings->setOverlayMode(OverlayMode::Row);
        QVERIFY(overlay().combinedPanel()); // delivered later, never inside the assignment
        QTRY_VERIFY(overlay().rowPanel());
        QVERIFY(!overlay().combinedPanel());
        QCOMPARE(overlay().panelCount(), 1);
        QCOMPARE(overlay().rebuildCount(), rebuilds + 1);
    }

    void preferenceChanges_data()
    {
        QTest::addColumn<Pref>("pref");
        QTest::newRow("layout") << Pref::Mode;
        QTest::newRow("orientation") << Pref::Orientation;
        QTest::newRow("per tab") << Pref::PerTab;
        QTest::newRow("light order") << Pref::LightOrder;
        QTest::newRow("captions") << Pref::ShowLabels;
        QTest::newRow("size") << Pref::Scale;
    }
    void preferenceChanges()
    {
        QFETCH(Pref, pref);
        const auto assign = [this, pref](bool change) {
            AppSettings& s = *m_settings;
            switch (pref) {
            case Pref::Mode:
                s.setOverlayMode(change ? OverlayMode::Row : s.overlayMode());
                break;
            case Pref::Orientation:
                s.setOrientation(change ? H : s.orientation());
                break;
            case Pref::PerTab:
                s.setPerTab(change ? !s.perTab() : s.perTab());
                break;
            case Pref::LightOrder:
                // A new list with the same elements is an equal value.
                s.setLightOrder(change ? QStringList{u"/w/x"_qs} : QStringList(s.lightOrder()));
                break;
            case Pref::ShowLabels:
                s.setShowLabels(change ? !s.showLabels() : s.showLabels());
                break;
            case Pref::Scale:
                s.setScale(change ? 2.0 : s.scale());
                break;
            }
        };
        shown();
        const int rebuilds = overlay().rebuildCount();
        QPointer<OverlayPanel> panel = overlay().combinedPanel();
        assign(false);
        assign(false);
        settle();
        QCOMPARE(overlay().rebuildCount(), rebuilds);
        QCOMPARE(overlay().combinedPanel(), panel.data());

        assign(true);
        QTRY_COMPARE(overlay().rebuildCount(), rebuilds + 1);
        assign(false); // the new value again
        settle();
        QCOMPARE(overlay().rebuildCount(), rebuilds + 1);
        QCOMPARE(overlay().panelCount(), 1);
    }

    void preferenceChangeWhileHiddenBuildsNothing()
    {
        overlay();
        m_settings->setOverlayMode(OverlayMode::Row);
        QTRY_COMPARE(overlay().rebuildCount(), 1);
        QCOMPARE(overlay().panelCount(), 0);
    }

    void clampedScaleRebuildsTwice()
    {
        shown();
        const int rebuilds = overlay().rebuildCount();
        m_settings->setScale(5.0); // announced as 5, then corrected to 3
        QTRY_COMPARE(overlay().rebuildCount(), rebuilds + 2);
        settle();
        QCOMPARE(overlay().rebuildCount(), rebuilds + 2);
        QCOMPARE(overlay().combinedPanel()->size(), TrafficLightOverlay::housingSize(3.0, false, V));
        m_settings->setScale(3.0);
        settle();
        QCOMPARE(overlay().rebuildCount(), rebuilds + 2);
    }

    void perWindowPanelsFollowTheWindows()
    {
        m_settings->setOverlayMode(OverlayMode::PerWindow);
        m_settings->setLightOrder({u"/w/a"_qs, u"/w/b"_qs, u"/w/c"_qs, u"/w/d"_qs});
        window(u"a"_qs, u"idle"_qs, 30);
        window(u"b"_qs, u"working"_qs, 20);
        window(u"c"_qs, u"waiting"_qs, 10);
        m_store->refresh();
        shown();

        // Three new units: slots 0, 2 and 4 (panels held + position).
        QCOMPARE(overlay().windowPanels().size(), 3);
        const int width = TrafficLightOverlay::housingSize(1.0, true, V).width();
        const std::pair<const char*, int> expected[] = {{"a", 0}, {"b", 2}, {"c", 4}};
        for (const auto& [name, slot] : expected) {
            OverlayPanel* panel = windowPanel(QString::fromLatin1(name));
            QVERIFY(panel);
            QCOMPARE(panel->defaultIndex(), slot);
            QCOMPARE(panel->origin(), OverlayGeometry::defaultOrigin(available(), width, slot));
            QCOMPARE(panel->originKey(), u"OverlayOrigin::/w/"_qs + QString::fromLatin1(name));
            QVERIFY(panel->isVisible());
        }
        QCOMPARE(overlay().windowPanelScale().value(u"/w/a"_qs), 1.0);

        QPointer<OverlayPanel> a = windowPanel(u"a"_qs);
        QPointer<OverlayPanel> b = windowPanel(u"b"_qs);
        QPointer<OverlayPanel> c = windowPanel(u"c"_qs);

        // A window that closes loses its panel; the others stay as they are.
        m_files.remove(u"b"_qs);
        m_store->refresh();
        QTRY_COMPARE(overlay().windowPanels().size(), 2);
        QVERIFY(!overlay().windowPanels().contains(u"/w/b"_qs));
        QTRY_VERIFY(b.isNull());
        QCOMPARE(windowPanel(u"a"_qs), a.data());
        QCOMPARE(windowPanel(u"c"_qs), c.data());

        // A new window with two panels kept, third in order: slot 2 + 2 = 4.
        window(u"d"_qs, u"idle"_qs, 5);
        m_store->refresh();
        QTRY_VERIFY(windowPanel(u"d"_qs));
        QCOMPARE(windowPanel(u"d"_qs)->defaultIndex(), 4);
        QCOMPARE(windowPanel(u"a"_qs), a.data());

        // A change of state keeps the panel; its light follows the store.
        window(u"a"_qs, u"working"_qs, 1);
        m_store->refresh();
        settle();
        QCOMPARE(windowPanel(u"a"_qs), a.data());
        QCOMPARE(qobject_cast<WindowLightView*>(a->content())->state(), AgentState::Working);
    }

    void panelsOfAnotherScaleAreReplaced()
    {
        m_settings->setOverlayMode(OverlayMode::PerWindow);
        window(u"a"_qs, u"idle"_qs, 30);
        window(u"b"_qs, u"idle"_qs, 20);
        m_store->refresh();
        shown();
        QPointer<OverlayPanel> a = windowPanel(u"a"_qs);
        const int rebuilds = overlay().rebuildCount();

        // A store delivery handled between a change of size and its rebuild.
        m_settings->setScale(2.0);
        overlay().syncWindowPanels();
        QVERIFY(windowPanel(u"a"_qs) != a.data());
        QCOMPARE(overlay().windowPanelScale().value(u"/w/a"_qs), 2.0);
        QCOMPARE(overlay().windowPanelScale().value(u"/w/b"_qs), 2.0);
        QCOMPARE(windowPanel(u"a"_qs)->size(), TrafficLightOverlay::housingSize(2.0, true, V));
        QTRY_COMPARE(overlay().rebuildCount(), rebuilds + 1); // still follows
        QCOMPARE(overlay().windowPanels().size(), 2);
    }

    void perTabPanels()
    {
        m_settings->setOverlayMode(OverlayMode::PerWindow);
        m_settings->setPerTab(true);
        m_files.write(u"t1"_qs, u"idle"_qs, now() - 20, u"/w/same"_qs, u"tab-1"_qs);
        m_files.write(u"t2"_qs, u"working"_qs, now() - 10, u"/w/same"_qs, u"tab-2"_qs);
        m_store->refresh();
        shown();
        QStringList keys = overlay().windowPanels().keys();
        keys.sort();
        QCOMPARE(keys, (QStringList{u"tab-1"_qs, u"tab-2"_qs}));
        QCOMPARE(overlay().windowPanels().value(u"tab-1"_qs)->originKey(), u"OverlayOrigin::tab-1"_qs);
    }

    void windowWithoutWorkspace()
    {
        m_settings->setOverlayMode(OverlayMode::PerWindow);
        m_files.writeWithoutWorkspace(u"loose"_qs, u"idle"_qs, now() - 10);
        m_store->refresh();
        shown();
        QCOMPARE(overlay().windowPanels().keys(), QStringList{QString()});
        QCOMPARE(overlay().windowPanels().value(QString())->originKey(), u"OverlayOrigin::"_qs);
    }

    void combinedAndHiddenIgnoreTheStore()
    {
        shown();
        QPointer<OverlayPanel> combined = overlay().combinedPanel();
        window(u"a"_qs, u"working"_qs, 10);
        m_store->refresh();
        settle();
        QCOMPARE(overlay().combinedPanel(), combined.data());
        QCOMPARE(overlay().panelCount(), 1);

        overlay().toggle();
        m_settings->setOverlayMode(OverlayMode::PerWindow);
        settle();
        window(u"b"_qs, u"idle"_qs, 5);
        m_store->refresh();
        settle();
        QCOMPARE(overlay().panelCount(), 0);
    }

    void rowPanelGrowsFromItsTopLeftCorner()
    {
        m_settings->setOverlayMode(OverlayMode::Row);
        m_settings->setOrientation(H);
        m_settings->setShowLabels(false);
        window(u"a"_qs, u"idle"_qs, 30);
        window(u"b"_qs, u"idle"_qs, 20);
        m_store->refresh();
        shown();
        OverlayPanel* row = overlay().rowPanel();
        QVERIFY(row);
        QCOMPARE(row->size(), QSize(102, 52));
        const QPoint corner = row->origin();
        QCOMPARE(corner, OverlayGeometry::defaultOrigin(available(), 102, 0));
        QTRY_COMPARE(row->pos(), corner);

        window(u"c"_qs, u"idle"_qs, 10);
        m_store->refresh();
        QTRY_COMPARE(row->size(), QSize(144, 52));
        QCOMPARE(overlay().rowPanel(), row);
        QCOMPARE(row->origin(), corner);
        QTRY_COMPARE(row->pos(), corner);
        QCOMPARE(overlay().rowWindowIDs(), (QStringList{u"/w/c"_qs, u"/w/b"_qs, u"/w/a"_qs}));
        QCOMPARE(qobject_cast<DotStripView*>(row->content())->cells().size(), std::size_t(3));

        // A change of state alone does not resize.
        window(u"a"_qs, u"idle"_qs, 8);
        m_store->refresh();
        settle();
        QCOMPARE(row->size(), QSize(144, 52));
    }

    void draggedPanelKeepsItsPlace()
    {
        m_settings->setOverlayMode(OverlayMode::PerWindow);
        window(u"a"_qs, u"idle"_qs, 10);
        m_store->refresh();
        shown();
        OverlayPanel* panel = windowPanel(u"a"_qs);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        const QPoint start = panel->origin();
        QVERIFY(!m_defaults->contains(u"OverlayOrigin::/w/a"_qs)); // a default place is not saved

        drag(panel, QPoint(10, 10), QPoint(40, 60));
        const QPoint dropped = start + QPoint(30, 50);
        QCOMPARE(panel->origin(), dropped);
        QCOMPARE(m_defaults->stringValue(u"OverlayOrigin::/w/a"_qs), OverlayGeometry::formatPoint(dropped));

        // After a rebuild (a new size) ...
        m_settings->setScale(1.5);
        QTRY_VERIFY(windowPanel(u"a"_qs) && windowPanel(u"a"_qs) != panel);
        QCOMPARE(windowPanel(u"a"_qs)->origin(), dropped);
        QTRY_COMPARE(windowPanel(u"a"_qs)->pos(), dropped);

        // ... and after a restart.
        restart();
        shown();
        QVERIFY(windowPanel(u"a"_qs));
        QCOMPARE(windowPanel(u"a"_qs)->origin(), dropped);
        QTRY_COMPARE(windowPanel(u"a"_qs)->pos(), dropped);
    }

    void spuriousMoveIsNotSaved_data()
    {
        QTest::addColumn<QString>("saved"); // empty: none
        QTest::newRow("no saved origin") << QString();
        QTest::newRow("saved origin") << u"{300, 400}"_qs;
    }
    void spuriousMoveIsNotSaved()
    {
        QFETCH(QString, saved);
        if (!saved.isEmpty())
            m_defaults->setString(u"OverlayOrigin"_qs, saved);
        shown();
        OverlayPanel* panel = overlay().combinedPanel();
        const QPoint origin = panel->origin();
        if (!saved.isEmpty())
            QCOMPARE(origin, QPoint(300, 400));

        // What some window managers make Qt report right after show().
        QMoveEvent spurious(QPoint(0, 0), origin);
        QCoreApplication::sendEvent(panel, &spurious);
        panel->move(0, 0);
        QCOMPARE(m_defaults->stringValue(u"OverlayOrigin"_qs),
                 saved.isEmpty() ? std::nullopt : std::optional<QString>(saved));
        // The panel puts itself back shortly after showing.
        QTRY_COMPARE(panel->pos(), origin);
        QCOMPARE(panel->origin(), origin);
        QCOMPARE(m_defaults->stringValue(u"OverlayOrigin"_qs),
                 saved.isEmpty() ? std::nullopt : std::optional<QString>(saved));
    }

    void programMoveIsSaved()
    {
        shown();
        overlay().combinedPanel()->moveTo(QPoint(100, 200));
        QCOMPARE(m_defaults->stringValue(u"OverlayOrigin"_qs), std::optional<QString>(u"{100, 200}"_qs));
        restart();
        shown();
        QCOMPARE(overlay().combinedPanel()->origin(), QPoint(100, 200));
    }

    void unreadableOriginIsZero()
    {
        m_defaults->setString(u"OverlayOrigin"_qs, u"garbage"_qs);
        shown();
        QCOMPARE(overlay().combinedPanel()->origin(), QPoint(0, 0));
    }

    void panelIsAFloatingTool()
    {
        shown();
        OverlayPanel* panel = overlay().combinedPanel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        const Qt::WindowFlags flags = panel->windowFlags();
        QVERIFY(flags.testFlag(Qt::Tool));
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(panel->testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(panel->testAttribute(Qt::WA_ShowWithoutActivating));
        // (The offscreen platform activates every window it shows; that clicks do
        // not focus a panel is checked on X11 by screenshots.sh.)
        drag(panel, QPoint(5, 5), QPoint(5, 5));             // a click
        QVERIFY(!m_defaults->contains(u"OverlayOrigin"_qs)); // a click is no move
    }

    void rightClickOpensTheMenu()
    {
        shown();
        OverlayPanel* panel = overlay().combinedPanel();
        const auto rightClick = [panel] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), panel->mapToGlobal(QPoint(5, 5)));
            QCoreApplication::sendEvent(panel, &event);
        };

        rightClick();
        QMenu* menu = overlay().contextMenu();
        QTRY_VERIFY(menu->isVisible());
        QStringList titles;
        for (const QAction* action : menu->actions())
            titles << (action->isSeparator() ? u"-"_qs : action->text());
        QCOMPARE(titles,
                 (QStringList{u"Show Floating Light"_qs, u"-"_qs, u"Combined"_qs, u"One per Cursor Window"_qs,
                              u"Row of Dots"_qs, u"-"_qs, u"Quit Korvane"_qs}));
        QVERIFY(menu->actions().at(0)->isChecked());
        QVERIFY(menu->actions().at(2)->isChecked());
        menu->actions().at(4)->trigger();
        menu->hide();
        QTRY_VERIFY(overlay().rowPanel());

        // The tray's menu, once handed in, replaces the small one.
        auto tray = std::make_unique<QMenu>();
        tray->addAction(u"From the tray"_qs);
        overlay().setContextMenu(tray.get());
        QCOMPARE(overlay().contextMenu(), tray.get());
        OverlayPanel* row = overlay().rowPanel();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), row->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(row, &event);
        QTRY_VERIFY(tray->isVisible());
        QVERIFY(!menu->isVisible());
        tray->hide();
        tray.reset();
        QCOMPARE(overlay().contextMenu(), menu);

        // "Show Floating Light" unticked hides the lights.
        menu->actions().at(0)->trigger();
        QCOMPARE(overlay().panelCount(), 0);
        QVERIFY(!overlay().isVisibleFlagSet());
    }
};

KORVANE_GUI_TEST_MAIN(TestTrafficLightOverlay)
#include "tst_trafficlightoverlay.moc"
