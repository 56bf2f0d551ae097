#include "FakeClock.h"
#include "TestMain.h"
#include "menubar/MenuBarController.h"
#include "platform/Alerts.h"
#include "platform/LoginItem.h"
#include "platform/SystemLog.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "status/AgentStateColor.h"
#include "status/StatusStore.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QPalette>
#include <QSpontaneKeyEvent>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <memory>

using namespace korvane;

Q_DECLARE_METATYPE(korvane::LoginItem::Status)

namespace {

class FakeLoginItem final : public LoginItem {
public:
    Status status() const override { return current; }
    bool registerItem(QString* error) override
    {
        ++registers;
        if (!error_.isEmpty()) {
            *error = error_;
            return false;
        }
        current = Status::Enabled;
        return true;
    }
    bool unregisterItem(QString* error) override
    {
        ++unregisters;
        if (!error_.isEmpty()) {
            *error = error_;
            return false;
        }
        current = Status::NotRegistered;
        return true;
    }

    Status current = Status::NotRegistered;
    QString error_; // non-empty: every change fails with it
    int registers = 0;
    int unregisters = 0;
};

class RecordingLog final : public SystemLog {
public:
    void write(const QString& line) override { lines.append(line); }
    QStringList lines;
};

struct Row {
    QString workspace;
    QString conversation;
    QString state;
};

// A menu as text: one line per item, submenus indented, separators as "---",
// disabled items in brackets, shortcuts after a tab.
QStringList outline(const QMenu* menu, const QString& indent = QString())
{
    QStringList lines;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            lines << indent + QStringLiteral("---");
            continue;
        }
        QString line = action->isEnabled() ? action->text() : u'[' + action->text() + u']';
        if (!action->shortcut().isEmpty())
            line += u'\t' + action->shortcut().toString();
        if (action->menu())
            line += QStringLiteral(" >");
        lines << indent + line;
        if (action->menu())
            lines << outline(action->menu(), indent + QStringLiteral("  "));
    }
    return lines;
}

QAction* findAction(const QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == title)
            return action;
        if (action->menu()) {
            if (QAction* found = findAction(action->menu(), title))
                return found;
        }
    }
    return nullptr;
}

QColor centrePixel(const QIcon& icon, int size)
{
    const QImage image = icon.pixmap(QSize(size, size), 1.0).toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class TestMenuBarController : public QObject {
    Q_OBJECT

    test::FakeClock m_clock;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<StatusStore> m_store;
    FakeLoginItem m_login;
    RecordingAlerts m_alerts;
    RecordingLog m_log;

    // What the menu asked of the rest of the application.
    int m_overlayToggles = 0;
    int m_settingsShown = 0;
    int m_updateChecks = 0;
    bool m_hooksInstalled = false;
    bool m_installSucceeds = true;
    bool m_claudeAvailable = false;
    QStringList m_otherAgents;

    std::unique_ptr<MenuBarController> m_controller;

    MenuBarController::Actions actions()
    {
        MenuBarController::Actions a;
        a.toggleOverlay = [this] {
            ++m_overlayToggles;
            const bool visible = m_defaults->boolValue(QStringLiteral("OverlayWasVisible")).value_or(false);
            m_defaults->setBool(QStringLiteral("OverlayWasVisible"), !visible);
        };
        a.showSettings = [this] { ++m_settingsShown; };
        a.installHooks = [this] {
            m_hooksInstalled = m_installSucceeds;
            return m_installSucceeds;
        };
        a.hooksInstalled = [this] { return m_hooksInstalled; };
        a.claudeAvailable = [this] { return m_claudeAvailable; };
        a.otherAgents = [this] { return m_otherAgents; };
        a.checkForUpdates = [this] { ++m_updateChecks; };
        return a;
    }

    MenuBarController& controller()
    {
        if (!m_controller)
            m_controller = std::make_unique<MenuBarController>(*m_store, *m_settings, *m_defaults, m_login,
                                                               m_alerts, actions());
        return *m_controller;
    }

    QAction* item(const QString& title)
    {
        QAction* action = findAction(controller().menu(), title);
        if (!action)
            qWarning("no menu item \"%s\"", qPrintable(title));
        return action;
    }

    QString summaryText() const { return m_controller->menu()->actions().at(1)->text(); }

    void openMenu() { Q_EMIT controller().menu()->aboutToShow(); }

    void writeRows(const QList<Row>& rows)
    {
        const QString dir = m_store->stateDir();
        int n = 0;
        for (const Row& row : rows) {
            QFile file(dir + QStringLiteral("/s%1.json").arg(n++));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QStringLiteral(R"({"state":"%1","ts":%2,"workspace":"%3","conversation_id":"%4"})")
                           .arg(row.state)
                           .arg(m_clock.now() - 5, 0, 'f', 3)
                           .arg(row.workspace, row.conversation)
                           .toUtf8());
        }
        m_store->refresh();
    }

private Q_SLOTS:
    void initTestCase() { SystemLog::setInstance(&m_log); }
    void cleanupTestCase() { SystemLog::setInstance(nullptr); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_defaults = std::make_unique<UserDefaults>(m_dir->filePath(QStringLiteral("defaults.json")));
        m_settings = std::make_unique<AppSettings>(*m_defaults);
        QDir(QDir::homePath() + QStringLiteral("/.cursor")).removeRecursively();
        m_store = std::make_unique<StatusStore>(m_clock);
        m_login = FakeLoginItem();
        m_alerts = RecordingAlerts();
        m_log.lines.clear();
        m_overlayToggles = m_settingsShown = m_updateChecks = 0;
        m_hooksInstalled = false;
        m_installSucceeds = true;
        m_claudeAvailable = false;
    }

    void cleanup()
    {
        m_controller.reset();
        m_store.reset();
        m_settings.reset();
        m_defaults.reset();
        QApplication::setPalette(QPalette());
    }

    void menuStructure()
    {
        const QString tab = QStringLiteral("\t");
        const QStringList expected = {
            QStringLiteral("[No recent agent activity]"),
            QStringLiteral("[No active windows]"),
            QStringLiteral("---"),
            QStringLiteral("Show Floating Light") + tab + QStringLiteral("Ctrl+L"),
            QStringLiteral("Floating Light Layout >"),
            QStringLiteral("  Combined"),
            QStringLiteral("  One per Cursor Window"),
            QStringLiteral("  Row of Dots"),
            QStringLiteral("Orientation >"),
            QStringLiteral("  Vertical"),
            QStringLiteral("  Horizontal"),
            QStringLiteral("[One Light per Tab]"), // the default layout is combined
            QStringLiteral("Light Size >"),
            QStringLiteral("  Smaller") + tab + QStringLiteral("Ctrl+-"),
            QStringLiteral("  Larger") + tab + QStringLiteral("Ctrl+="),
            QStringLiteral("  ---"),
            QStringLiteral("  Small (75%)"),
            QStringLiteral("  Medium (100%)"),
            QStringLiteral("  Large (150%)"),
            QStringLiteral("  Extra Large (200%)"),
            QStringLiteral("  Huge (250%)"),
            QString::fromUtf8("Settings\u2026") + tab + QStringLiteral("Ctrl+,"),
            QStringLiteral("---"),
            QStringLiteral("Launch at Login"),
            QStringLiteral("Install Hooks"),
            QString::fromUtf8("Check for Updates\u2026"),
            QStringLiteral("---"),
            QStringLiteral("Quit Korvane") + tab + QStringLiteral("Ctrl+Q"),
        };
        QCOMPARE(outline(controller().menu()), expected);
        QCOMPARE(controller().trayIcon()->contextMenu(), controller().menu());
    }

    void summaryLine_data()
    {
        QTest::addColumn<QList<Row>>("rows");
        QTest::addColumn<bool>("perTab");
        QTest::addColumn<QString>("summary");

        const QString bullet = QString::fromUtf8(" \u2022 ");
        QTest::newRow("one working window")
            << QList<Row>{{"/p/a", "c1", "working"}} << false << "1 window" + bullet + "1 working";
        QTest::newRow("two tabs, none working")
            << QList<Row>{{"/p/a", "c1", "idle"}, {"/p/a", "c2", "waiting"}} << true
            << "2 tabs" + bullet + "0 working";
        QTest::newRow("same two tabs as one window")
            << QList<Row>{{"/p/a", "c1", "idle"}, {"/p/a", "c2", "waiting"}} << false
            << "1 window" + bullet + "0 working";
        QTest::newRow("three windows, one working")
            << QList<Row>{{"/p/a", "c1", "idle"}, {"/p/b", "c2", "working"}, {"/p/c", "c3", "error"}} << false
            << "3 windows" + bullet + "1 working";
        QTest::newRow("one tab") << QList<Row>{{"/p/a", "c1", "working"}} << true
                                 << "1 tab" + bullet + "1 working";
        QTest::newRow("no windows") << QList<Row>{} << false << "No active windows";
        QTest::newRow("no tabs") << QList<Row>{} << true << "No active tabs";
    }
    void summaryLine()
    {
        QFETCH(QList<Row>, rows);
        QFETCH(bool, perTab);
        QFETCH(QString, summary);
        m_settings->setPerTab(perTab);
        controller();
        writeRows(rows);
        openMenu();
        QCOMPARE(summaryText(), summary);
    }

    void openMenuFollowsTheStoreButAnOpenMenuDoesNot()
    {
        controller();
        writeRows({{"/p/a", "c1", "working"}});
        QCOMPARE(summaryText(), QStringLiteral("No active windows"));
        controller().menu()->popup(QPoint(0, 0));
        QVERIFY(controller().menu()->isVisible());
        QCOMPARE(summaryText(), QString::fromUtf8("1 window \u2022 1 working"));
        writeRows({{"/p/a", "c1", "working"}, {"/p/b", "c2", "idle"}});
        QCOMPARE(summaryText(), QString::fromUtf8("1 window \u2022 1 working"));
        controller().menu()->hide();
    }

    void presetCheckmarks_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("checked"); // empty: none

        QTest::newRow("1.5") << 1.5 << "Large (150%)";
        QTest::newRow("1.25") << 1.25 << "";
        QTest::newRow("0.754") << 0.754 << "Small (75%)";
        QTest::newRow("0.996") << 0.996 << "Medium (100%)";
        QTest::newRow("2.5") << 2.5 << "Huge (250%)";
        QTest::newRow("0.5") << 0.5 << "";
    }
    void presetCheckmarks()
    {
        QFETCH(double, scale);
        QFETCH(QString, checked);
        m_settings->setScale(scale);
        openMenu();
        QStringList checkedTitles;
        for (const auto& preset : MenuBarController::sizePresets()) {
            QAction* action = item(QStringLiteral("%1 (%2%)").arg(preset.label).arg(int(preset.scale * 100)));
            QVERIFY(action);
            if (action->isChecked())
                checkedTitles << action->text();
        }
        QCOMPARE(checkedTitles, checked.isEmpty() ? QStringList() : QStringList{checked});
    }

    void perTabItem_data()
    {
        QTest::addColumn<OverlayMode>("mode");
        QTest::addColumn<bool>("perTab");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("combined, per tab on") << OverlayMode::Combined << true << false;
        QTest::newRow("combined, per tab off") << OverlayMode::Combined << false << false;
        QTest::newRow("per window") << OverlayMode::PerWindow << true << true;
        QTest::newRow("row") << OverlayMode::Row << false << true;
    }
    void perTabItem()
    {
        QFETCH(OverlayMode, mode);
        QFETCH(bool, perTab);
        QFETCH(bool, enabled);
        m_settings->setOverlayMode(mode);
        m_settings->setPerTab(perTab);
        openMenu();
        QAction* action = item(QStringLiteral("One Light per Tab"));
        QCOMPARE(action->isEnabled(), enabled);
        QCOMPARE(action->isChecked(), perTab);
    }

    void togglePerTabIgnoresTheLayout()
    {
        m_settings->setOverlayMode(OverlayMode::Combined);
        controller().togglePerTab();
        QCOMPARE(m_settings->perTab(), true);
        QVERIFY(item(QStringLiteral("One Light per Tab"))->isChecked());
        controller().togglePerTab();
        QCOMPARE(m_settings->perTab(), false);
    }

    void hooksTitleOnTheNextOpening()
    {
        openMenu();
        QAction* hooks = controller().menu()->actions().at(controller().menu()->actions().size() - 4);
        QCOMPARE(hooks->text(), QStringLiteral("Install Hooks"));
        m_hooksInstalled = true; // installed elsewhere, e.g. at the next launch
        QCOMPARE(hooks->text(), QStringLiteral("Install Hooks"));
        openMenu();
        QCOMPARE(hooks->text(), QStringLiteral("Reinstall Hooks"));
    }

    void loginCheckmark_data()
    {
        QTest::addColumn<LoginItem::Status>("status");
        QTest::addColumn<bool>("checked");
        QTest::newRow("enabled") << LoginItem::Status::Enabled << true;
        QTest::newRow("not registered") << LoginItem::Status::NotRegistered << false;
        QTest::newRow("requires approval") << LoginItem::Status::RequiresApproval << false;
        QTest::newRow("not found") << LoginItem::Status::NotFound << false;
    }
    void loginCheckmark()
    {
        QFETCH(LoginItem::Status, status);
        QFETCH(bool, checked);
        m_login.current = status;
        openMenu();
        QCOMPARE(item(QStringLiteral("Launch at Login"))->isChecked(), checked);
    }

    void layoutAndOrientationCommands_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<OverlayMode>("mode");
        QTest::addColumn<OverlayOrientation>("orientation");
        QTest::addColumn<QStringList>("checked");

        const auto V = OverlayOrientation::Vertical;
        QTest::newRow("row") << "Row of Dots" << OverlayMode::Row << V
                             << QStringList{"Row of Dots", "Vertical"};
        QTest::newRow("per window") << "One per Cursor Window" << OverlayMode::PerWindow << V
                                    << QStringList{"One per Cursor Window", "Vertical"};
        QTest::newRow("combined") << "Combined" << OverlayMode::Combined << V
                                  << QStringList{"Combined", "Vertical"};
        QTest::newRow("horizontal") << "Horizontal" << OverlayMode::PerWindow
                                    << OverlayOrientation::Horizontal
                                    << QStringList{"One per Cursor Window", "Horizontal"};
    }
    void layoutAndOrientationCommands()
    {
        QFETCH(QString, title);
        QFETCH(OverlayMode, mode);
        QFETCH(OverlayOrientation, orientation);
        QFETCH(QStringList, checked);

        m_settings->setOverlayMode(OverlayMode::PerWindow);
        m_settings->setOrientation(OverlayOrientation::Vertical);
        openMenu();
        item(title)->trigger();
        QCOMPARE(m_settings->overlayMode(), mode);
        QCOMPARE(m_settings->orientation(), orientation);
        QCOMPARE(m_defaults->stringValue(QStringLiteral("OverlayMode")), rawValue(mode));
        QStringList nowChecked;
        for (const char* t : {"Combined", "One per Cursor Window", "Row of Dots", "Vertical", "Horizontal"}) {
            if (item(QString::fromLatin1(t))->isChecked())
                nowChecked << QString::fromLatin1(t);
        }
        QCOMPARE(nowChecked, checked);
    }

    void sizeSteps_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<QString>("command");
        QTest::addColumn<double>("expected");
        QTest::addColumn<QString>("checkedPreset");

        QTest::newRow("1.0 smaller") << 1.0 << "Smaller" << 0.75 << "Small (75%)";
        QTest::newRow("0.75 smaller") << 0.75 << "Smaller" << 0.5 << "";
        QTest::newRow("0.6 smaller is clamped") << 0.6 << "Smaller" << 0.5 << "";
        QTest::newRow("0.5 smaller stays") << 0.5 << "Smaller" << 0.5 << "";
        QTest::newRow("0.5 larger") << 0.5 << "Larger" << 0.75 << "Small (75%)";
        QTest::newRow("1.1 larger") << 1.1 << "Larger" << 1.35 << "";
        QTest::newRow("1.25 larger reaches a preset") << 1.25 << "Larger" << 1.5 << "Large (150%)";
        QTest::newRow("2.9 larger is clamped") << 2.9 << "Larger" << 3.0 << "";
        QTest::newRow("0.754 larger in hundredths") << 0.754 << "Larger" << 1.0 << "Medium (100%)";
        QTest::newRow("1.333 smaller in hundredths") << 1.333 << "Smaller" << 1.08 << "";
        // 87.5 and 62.5 hundredths are exact halves: they round away from zero, not to even.
        QTest::newRow("0.625 larger, the half goes up") << 0.625 << "Larger" << 0.88 << "";
        QTest::newRow("0.875 smaller, the half goes up") << 0.875 << "Smaller" << 0.63 << "";
    }
    void sizeSteps()
    {
        QFETCH(double, start);
        QFETCH(QString, command);
        QFETCH(double, expected);
        QFETCH(QString, checkedPreset);

        m_settings->setScale(start);
        item(command)->trigger();
        // Exactly the hundredth, not a neighbour of it.
        QCOMPARE(m_settings->scale(), expected);
        QVERIFY(m_settings->scale() == expected);
        QCOMPARE(m_defaults->doubleValue(QStringLiteral("OverlayScale")), expected);
        QString checked;
        for (QAction* action : item(QStringLiteral("Light Size"))->menu()->actions()) {
            if (action->isChecked())
                checked = action->text();
        }
        QCOMPARE(checked, checkedPreset);
    }

    void presets_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<double>("scale");
        QTest::newRow("small") << "Small (75%)" << 0.75;
        QTest::newRow("medium") << "Medium (100%)" << 1.0;
        QTest::newRow("large") << "Large (150%)" << 1.5;
        QTest::newRow("extra large") << "Extra Large (200%)" << 2.0;
        QTest::newRow("huge") << "Huge (250%)" << 2.5;
    }
    void presets()
    {
        QFETCH(QString, title);
        QFETCH(double, scale);
        m_settings->setScale(1.23);
        QAction* preset = item(title);
        preset->trigger();
        QVERIFY(m_settings->scale() == scale);
        QVERIFY(preset->isChecked());
        for (QAction* other : item(QStringLiteral("Light Size"))->menu()->actions()) {
            if (other != preset)
                QVERIFY2(!other->isChecked(), qPrintable(other->text()));
        }
    }

    void overlayToggleFollowsTheVisibilityKey()
    {
        QAction* overlay = item(QStringLiteral("Show Floating Light"));
        overlay->trigger();
        QCOMPARE(m_overlayToggles, 1);
        QVERIFY(overlay->isChecked());
        overlay->trigger();
        QCOMPARE(m_overlayToggles, 2);
        QVERIFY(!overlay->isChecked());
        // Shown from elsewhere (the first launch): the next opening shows it.
        m_defaults->setBool(QStringLiteral("OverlayWasVisible"), true);
        openMenu();
        QVERIFY(overlay->isChecked());
    }

    void settingsAndUpdatesAreHandedOn()
    {
        item(QString::fromUtf8("Settings\u2026"))->trigger();
        QCOMPARE(m_settingsShown, 1);
        item(QString::fromUtf8("Check for Updates\u2026"))->trigger();
        QCOMPARE(m_updateChecks, 1);
        QVERIFY(m_alerts.shown.isEmpty());
    }

    void reinstallHooks_data()
    {
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<bool>("claude");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("informative");
        QTest::addColumn<QString>("titleAfter");

        const QString ok =
            QStringLiteral("The status light updates as the agent works. Cursor reloads hooks on save; "
                           "restart Claude Code sessions to pick up the new hooks.");
        const QString failed =
            QStringLiteral("Writing to the hooks config failed. Check Console for details.");
        const int info = int(Alerts::Style::Informational);
        const int warning = int(Alerts::Style::Warning);
        QTest::newRow("cursor only") << true << false << info << "Hooks installed for Cursor" << ok
                                     << "Reinstall Hooks";
        QTest::newRow("cursor and claude")
            << true << true << info << "Hooks installed for Cursor and Claude Code" << ok
            << "Reinstall Hooks";
        QTest::newRow("failure") << false << true << warning << "Could not install hooks" << failed
                                 << "Install Hooks";
        QTest::newRow("more agents") << true << true << info
                                     << "Hooks installed for Cursor, Claude Code and Codex CLI"
                                     << QString(ok).replace("Claude Code", "Claude Code and Codex CLI") +
                                            " Codex CLI runs them once you trust them in its /hooks screen."
                                     << "Reinstall Hooks";
    }
    void reinstallHooks()
    {
        QFETCH(bool, succeeds);
        QFETCH(bool, claude);
        QFETCH(int, style);
        QFETCH(QString, message);
        QFETCH(QString, informative);
        QFETCH(QString, titleAfter);

        m_installSucceeds = succeeds;
        m_claudeAvailable = claude;
        m_otherAgents = QStringList(QString(QTest::currentDataTag()) == "more agents" ? 1 : 0, "Codex CLI");
        item(QStringLiteral("Install Hooks"))->trigger();
        QCOMPARE(m_alerts.shown.size(), 1);
        const Alerts::Request& alert = m_alerts.shown.first();
        QCOMPARE(int(alert.style), style);
        QCOMPARE(alert.message, message);
        QCOMPARE(alert.informativeText, informative);
        QVERIFY(alert.buttons.isEmpty()); // the platform's own OK
        QVERIFY(item(titleAfter));
    }

    void launchAtLoginToggle_data()
    {
        QTest::addColumn<LoginItem::Status>("before");
        QTest::addColumn<bool>("unregisters");
        QTest::newRow("enabled") << LoginItem::Status::Enabled << true;
        QTest::newRow("not registered") << LoginItem::Status::NotRegistered << false;
        QTest::newRow("requires approval") << LoginItem::Status::RequiresApproval << false;
        QTest::newRow("not found") << LoginItem::Status::NotFound << false;
    }
    void launchAtLoginToggle()
    {
        QFETCH(LoginItem::Status, before);
        QFETCH(bool, unregisters);
        m_login.current = before;
        QAction* login = item(QStringLiteral("Launch at Login"));
        login->trigger();
        QCOMPARE(m_login.unregisters, unregisters ? 1 : 0);
        QCOMPARE(m_login.registers, unregisters ? 0 : 1);
        QCOMPARE(login->isChecked(), !unregisters);
        QVERIFY(m_log.lines.isEmpty());
    }

    void launchAtLoginFailureIsLoggedOnly()
    {
        m_login.error_ = QStringLiteral("the service said no");
        QAction* login = item(QStringLiteral("Launch at Login"));
        login->trigger();
        QCOMPARE(m_log.lines,
                 QStringList{QStringLiteral("Korvane: launch-at-login toggle failed: the service said no")});
        QVERIFY(!login->isChecked());
        QVERIFY(m_alerts.shown.isEmpty());
    }

    void launchAtLoginWithTheAutostartEntry()
    {
        XdgAutostartLoginItem autostart;
        MenuBarController menuBar(*m_store, *m_settings, *m_defaults, autostart, m_alerts, actions());
        QAction* login = findAction(menuBar.menu(), QStringLiteral("Launch at Login"));
        login->trigger();
        QVERIFY(QFile::exists(autostart.entryPath()));
        QVERIFY(login->isChecked());
        login->trigger();
        QVERIFY(!QFile::exists(autostart.entryPath()));
        QVERIFY(!login->isChecked());
        QVERIFY(m_log.lines.isEmpty());

        // A file where the autostart folder belongs: registering fails and says so in the log.
        const QString folder = QFileInfo(autostart.entryPath()).absolutePath();
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        login->trigger();
        QVERIFY(!login->isChecked());
        QCOMPARE(m_log.lines.size(), 1);
        QVERIFY2(m_log.lines.first().startsWith(QStringLiteral("Korvane: launch-at-login toggle failed: ")),
                 qPrintable(m_log.lines.first()));
        QVERIFY(QFile::remove(folder));
    }

    void dotColourForEachState_data()
    {
        QTest::addColumn<AgentState>("state");
        QTest::addColumn<QString>("raw");
        for (const AgentState state : kAllAgentStates)
            QTest::newRow(qPrintable(rawValue(state))) << state << rawValue(state);
    }
    void dotColourForEachState()
    {
        QFETCH(AgentState, state);
        QFETCH(QString, raw);
        controller();
        if (state != AgentState::Unknown) {
            writeRows({{"/p/a", "c1", raw}});
            QCOMPARE(m_store->state(), state);
            // Never inside the store's assignment.
            QCOMPARE(controller().trayIcon()->toolTip(), statusText(AgentState::Unknown));
        }
        // The icon follows in a later turn of the event loop.
        QTRY_COMPARE(controller().trayIcon()->toolTip(), statusText(state));
        QCOMPARE(controller().menu()->actions().first()->text(), statusText(state));
        for (const int size : {16, 22, 24, 32})
            QCOMPARE(centrePixel(controller().trayIcon()->icon(), size), stateColor(state));
    }

    void iconIsRedrawnForTheDarkPalette()
    {
        controller();
        writeRows({{"/p/a", "c1", "working"}});
        QTRY_COMPARE(centrePixel(controller().trayIcon()->icon(), 22),
                     QColor::fromRgb(stateRgb(AgentState::Working, false)));
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        QApplication::setPalette(dark);
        QVERIFY(paletteIsDark());
        QVERIFY(stateRgb(AgentState::Working, true) != stateRgb(AgentState::Working, false));
        QTRY_COMPARE(centrePixel(controller().trayIcon()->icon(), 22),
                     QColor::fromRgb(stateRgb(AgentState::Working, true)));
    }

    void dotPixmap_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<qreal>("dpr");
        for (const int size : {16, 22, 24, 32}) {
            for (const qreal dpr : {1.0, 2.0})
                QTest::addRow("%d px at %g", size, dpr) << size << dpr;
        }
    }
    void dotPixmap()
    {
        QFETCH(int, size);
        QFETCH(qreal, dpr);
        const QColor fill(0x34, 0xc7, 0x59);
        const QImage image = MenuBarController::dotPixmap(fill, size, dpr).toImage();
        QCOMPARE(image.size(), QSize(size, size) * dpr);
        const int centre = image.width() / 2;
        QCOMPARE(image.pixelColor(centre, centre), fill);
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0); // transparent around the dot

        // Across the middle row: the dot is 13 logical pixels wide and its rim is darker than its fill.
        int first = -1, last = -1;
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, centre).alpha() > 128) {
                last = x;
                if (first < 0)
                    first = x;
            }
        }
        QCOMPARE(last - first + 1, qRound(13 * dpr));
        const QColor rim = image.pixelColor(first, centre);
        QVERIFY2(rim.green() < fill.green() - 40, qPrintable(rim.name(QColor::HexArgb)));
        const QColor inside = image.pixelColor(first + qRound(2 * dpr), centre);
        QCOMPARE(inside, fill);
    }

    void shortcutsWorkWhileTheMenuIsOpen_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("effect");

        const int ctrl = int(Qt::ControlModifier);
        QTest::newRow("Ctrl+L") << int(Qt::Key_L) << ctrl << "overlay";
        QTest::newRow("Ctrl+,") << int(Qt::Key_Comma) << ctrl << "settings";
        QTest::newRow("Ctrl+-") << int(Qt::Key_Minus) << ctrl << "scale 0.75";
        QTest::newRow("Ctrl+=") << int(Qt::Key_Equal) << ctrl << "scale 1.25";
        QTest::newRow("Ctrl+= where = needs Shift")
            << int(Qt::Key_Equal) << (ctrl | int(Qt::ShiftModifier)) << "scale 1.25";
        QTest::newRow("keypad minus")
            << int(Qt::Key_Minus) << (ctrl | int(Qt::KeypadModifier)) << "scale 0.75";
        QTest::newRow("Ctrl+Shift+L is another key")
            << int(Qt::Key_L) << (ctrl | int(Qt::ShiftModifier)) << "";
        QTest::newRow("L alone") << int(Qt::Key_L) << 0 << "";
    }
    void shortcutsWorkWhileTheMenuIsOpen()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, effect);

        QMenu* menu = controller().menu();
        menu->popup(QPoint(0, 0));
        QVERIFY(menu->isVisible());
        // A key from the window system, as the open tray menu receives it on X11: Qt's shortcut
        // map does not route the items' shortcuts of a menu that hangs in no window.
        QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers));
        QSpontaneKeyEvent::setSpontaneous(&press);
        QCoreApplication::sendEvent(menu, &press);

        QString happened;
        if (m_overlayToggles)
            happened = QStringLiteral("overlay");
        else if (m_settingsShown)
            happened = QStringLiteral("settings");
        else if (m_settings->scale() != 1.0)
            happened = QStringLiteral("scale %1").arg(m_settings->scale());
        QCOMPARE(happened, effect);
        QCOMPARE(menu->isVisible(), effect.isEmpty());
        menu->hide();
    }

    void leftClickOpensTheMenu()
    {
        QSystemTrayIcon* tray = controller().trayIcon();
        QVERIFY(!controller().menu()->isVisible());
        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(controller().menu()->isVisible());
        controller().menu()->hide();
        Q_EMIT tray->activated(QSystemTrayIcon::MiddleClick);
        QVERIFY(!controller().menu()->isVisible());
    }
};

KORVANE_GUI_TEST_MAIN(TestMenuBarController)
#include "tst_menubarcontroller.moc"
