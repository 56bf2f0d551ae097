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
#include <memory>

using namespace korvane;

namespace {

class FakeLoginItem final : public LoginItem {
public:
    Status status() const override { return Status::NotRegistered; }
    bool registerItem(QString*) override { return false; }
    bool unregisterItem(QString*) override { return false; }
};

class SilentAlerts final : public Alerts {
public:
    int run(const Request&) override { return 0; }
};

// The commands that are disabled ("-") or checked ("+"), in menu order; the
// two status lines at the top are never enabled.
QString marks(const QMenu* menu)
{
    QString out;
    for (const QAction* action : menu->actions().mid(menu->menuAction()->text().isEmpty() ? 2 : 0)) {
        const QString mark = QString(action->isEnabled() ? "" : "-") + (action->isChecked() ? "+" : "");
        if (action->menu())
            out += marks(action->menu());
        else if (!mark.isEmpty() && !action->isSeparator())
            out += mark + action->text() + u'|';
    }
    return out;
}

QAction* find(const QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == title)
            return action;
        if (QAction* found = action->menu() ? find(action->menu(), title) : nullptr)
            return found;
    }
    return nullptr;
}

} // namespace

class TestMenuBarController : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    test::FakeClock m_clock;
    FakeLoginItem m_login;
    SilentAlerts m_alerts;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<StatusStore> m_store;
    std::unique_ptr<MenuBarController> m_controller;

private Q_SLOTS:
    void init()
    {
        QFile::remove(m_dir.filePath(u"defaults.json"_qs));
        m_defaults = std::make_unique<UserDefaults>(m_dir.filePath(u"defaults.json"_qs));
        m_settings = std::make_unique<AppSettings>(*m_defaults);
        m_store = std::make_unique<StatusStore>(m_clock);
        MenuBarController::Actions actions;
        actions.toggleOverlay = [this] { m_defaults->setBool(u"OverlayWasVisible"_qs, true); };
        actions.hooksInstalled = [] { return true; };
        actions.claudeAvailable = [] { return false; };
        m_controller = std::make_unique<MenuBarController>(*m_store, *m_settings, *m_defaults, m_login,
                                                           m_alerts, actions);
    }
    void cleanup() { m_controller.reset(); }

    // A command (or none) from a given state, then the menu as it opens next.
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
        QTest::newRow("larger, in hundredths")
            << C << 0.754 << "Larger" << combined + "+Medium (100%)|" << 1.0;
        QTest::newRow("preset") << C << 1.23 << "Extra Large (200%)" << combined + "+Extra Large (200%)|"
                                << 2.0;
    }
    void commandsAndMarks()
    {
        QFETCH(OverlayMode, mode);
        QFETCH(double, scale);
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QFETCH(double, scaleAfter);
        m_settings->setOverlayMode(mode);
        m_settings->setPerTab(true);
        m_settings->setScale(scale);
        if (QAction* action = find(m_controller->menu(), command))
            action->trigger();
        Q_EMIT m_controller->menu()->aboutToShow();
        QCOMPARE(marks(m_controller->menu()), expected);
        QVERIFY(m_settings->scale() == scaleAfter);
    }
};

KORVANE_GUI_TEST_MAIN(TestMenuBarController)
#include "tst_menubarcontroller.moc"
