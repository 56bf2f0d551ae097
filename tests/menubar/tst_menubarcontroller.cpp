#include "FakeClock.h"
#include "Recorders.h"
#include "TestMain.h"
#include "menubar/MenuBarController.h"
#include "platform/Alerts.h"
#include "platform/LoginItem.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "status/StatusStore.h"

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>

using namespace korvane;

namespace {

// Every command of the menu and its submenus, in order; the two status lines
// at the top are never commands.
QList<QAction*> commands(const QMenu* menu)
{
    QList<QAction*> out;
    for (QAction* action : menu->actions().mid(menu->menuAction()->text().isEmpty() ? 2 : 0))
        out << (action->menu() ? commands(action->menu()) : QList<QAction*>{action});
    return out;
}

} // namespace

class TestMenuBarController : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    test::FakeClock m_clock;

private Q_SLOTS:
    // A command (or none) from a given state, then the menu as it opens next and
    // the preferences as the next launch reads them.
    void commandsAndMarks_data()
    {
        QTest::addColumn<OverlayMode>("mode");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<double>("scaleAfter");
        const auto C = OverlayMode::Combined;
        const QString combined = u"+Combined|+Vertical|-+One Light per Tab|"_qs;
        QTest::newRow("combined") << C << 1.0 << "" << combined + "+Medium (100%)|" << 1.0;
        QTest::newRow("per window")
            << OverlayMode::PerWindow << 1.0 << "Show Floating Light"
            << "+Show Floating Light|+One per Cursor Window|+Vertical|+One Light per Tab|+Medium (100%)|"
            << 1.0;
        QTest::newRow("row, smaller") << OverlayMode::Row << 1.0 << "Smaller"
                                      << "+Row of Dots|+Vertical|+One Light per Tab|+Small (75%)|" << 0.75;
        QTest::newRow("smaller, at the floor") << C << 0.6 << "Smaller" << combined << 0.5;
        QTest::newRow("larger") << C << 1.1 << "Larger" << combined << 1.35;
        QTest::newRow("larger, at the ceiling") << C << 2.9 << "Larger" << combined << 3.0;
    }
    void commandsAndMarks()
    {
        QFETCH(OverlayMode, mode);
        QFETCH(double, scale);
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QFETCH(double, scaleAfter);
        UserDefaults defaults(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())));
        AppSettings settings(defaults);
        StatusStore store(m_clock);
        MenuBarController::Actions actions;
        actions.toggleOverlay = [&] { defaults.setBool(u"OverlayWasVisible"_qs, true); };
        actions.hooksInstalled = [] { return true; };
        // No command of the table reaches the login item or an alert.
        MenuBarController controller(store, settings, defaults, LoginItem::standard(), Alerts::standard(),
                                     actions);
        settings.setOverlayMode(mode);
        settings.setPerTab(true);
        settings.setScale(scale);
        for (QAction* action : commands(controller.menu()))
            if (action->text() == command)
                action->trigger();
        Q_EMIT controller.menu()->aboutToShow();
        QString marks; // disabled "-", checked "+"
        for (const QAction* a : commands(controller.menu()))
            if (!a->isEnabled() || a->isChecked())
                marks += QString(a->isEnabled() ? "" : "-") + (a->isChecked() ? "+" : "") + a->text() + u'|';
        QCOMPARE(marks, expected);
        QVERIFY(settings.scale() == scaleAfter);
        UserDefaults stored(defaults.filePath());
        const AppSettings next(stored);
        QVERIFY(next.overlayMode() == mode && next.orientation() == settings.orientation() && next.perTab());
        QVERIFY(next.scale() == scaleAfter);
    }
};

KORVANE_GUI_TEST_MAIN(TestMenuBarController)
#include "tst_menubarcontroller.moc"
