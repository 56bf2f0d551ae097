#include "FakeClock.h"
#include "Recorders.h"
#include "TestMain.h"
#include "menubar/MenuBarController.h"
#include "menubar/MenuCommands.h"
#include "menubar/MenuItems.h"
#include "menubar/MenuShortcuts.h"
#include "menubar/TableMenu.h"
#include "platform/Alerts.h"
#include "platform/LoginItem.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "status/StatusStore.h"

#include <QAction>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
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
        const QString answer =
            u"+Answer Permission Prompts|+Answer Permission Prompts from Notifications|"_qs;
        QTest::newRow("combined") << C << 1.0 << "" << combined + "+Medium (100%)|" + answer << 1.0;
        QTest::newRow("per window")
            << OverlayMode::PerWindow << 1.0 << "Show Floating Light"
            << "+Show Floating Light|+One per Window|+Vertical|+One Light per Tab|+Medium (100%)|" + answer
            << 1.0;
        QTest::newRow("row, smaller")
            << OverlayMode::Row << 1.0 << "Smaller"
            << "+Row of Dots|+Vertical|+One Light per Tab|+Small (75%)|" + answer << 0.75;
        QTest::newRow("smaller, at the floor") << C << 0.6 << "Smaller" << combined + answer << 0.5;
        QTest::newRow("larger") << C << 1.1 << "Larger" << combined + answer << 1.35;
        QTest::newRow("larger, at the ceiling") << C << 2.9 << "Larger" << combined + answer << 3.0;
        QTest::newRow("prompts answered in the terminal only")
            << C << 1.0 << "Answer Permission Prompts"
            << combined + "+Medium (100%)|-+Answer Permission Prompts from Notifications|" << 1.0;
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
        actions.toggleOverlay = [&] { settings.setOverlayVisible(true); };
        actions.hooksInstalled = [] { return true; };
        // No command of the table reaches the login item or an alert.
        MenuBarController controller(store, settings, LoginItem::standard(), Alerts::standard(), actions);
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
        QCOMPARE(next.answerPermissionPrompts(), settings.answerPermissionPrompts());
    }

    // The menu's information lines and rows for records "conversation@workspace state age [agent]"; each row
    // chosen names its own. "*": the row's dot has the badge, where it goes in a 22-pixel dot on a 2x screen.
    void menuRows_data()
    {
        QTest::addColumn<bool>("perTab");
        QTest::addColumn<QString>("records");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("ids");
        QTest::newRow("none") << false << ""
                              << "No recent agent activity|No active windows"
                              << "";
        QTest::newRow("needs you first, failed too, then the newest")
            << false
            << "i@/w/i idle 7199 gemini, w1@/w/w working 5 claude-code, w2@/w/w waiting 2 codex, e@/w/e "
               "error 61, "
               "q@/w/q waiting 3599 codex, x@/w/x thinking -3 nobody"
            << "Agent is working\u2026|5 windows \u2022 1 working \u2022 3 need you|"
               "w (Claude Code) \u2014 Working \u00b7 2 s*|e \u2014 Failed \u00b7 1 min|"
               "q (Codex CLI) \u2014 Waiting for your answer \u00b7 59 min|x \u2014 No status \u00b7 0 s|"
               "i (Gemini CLI) \u2014 Done \u00b7 1 h"
            << "/w/w|/w/e|/w/q|/w/x|/w/i";
        QTest::newRow("tabs")
            << true << "a@/w/p waiting 60, b@/w/p idle 1"
            << "Waiting for your answer|2 tabs \u2022 0 working \u2022 1 needs you|"
               "p #1 \u2014 Waiting for your answer \u00b7 1 min|p #2 \u2014 Done \u00b7 1 s"
            << "a|b";
        QString many, lines = u"Done \u2014 waiting for your input|14 windows \u2022 0 working|"_qs, ids;
        for (int i = 0; i < 14; ++i) {
            many += u"r%1@/w/r%1 idle %1,"_qs.arg(i);
            lines += i < 12 ? u"r%1 \u2014 Done \u00b7 %1 s|"_qs.arg(i) : QString();
            ids += i < 12 ? u"/w/r%1|"_qs.arg(i) : QString();
        }
        QTest::newRow("twelve and the rest") << false << many << lines + "and 2 more" << ids.chopped(1);
    }
    void menuRows()
    {
        QFETCH(bool, perTab);
        QFETCH(QString, records);
        UserDefaults defaults(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())));
        AppSettings settings(defaults);
        settings.setPerTab(perTab);
        StatusStore store(m_clock);
        QDir(store.stateDir()).removeRecursively();
        QDir().mkpath(store.stateDir());
        for (const QString& r : records.split(u',', Qt::SkipEmptyParts)) {
            const QStringList w = r.trimmed().split(QRegularExpression(u"[@ ]"_qs));
            QFile f(store.stateDir() + u'/' + w[0] + u".json"_qs);
            QVERIFY(
                f.open(QIODevice::WriteOnly) &&
                f.write(uR"({"state":"%1","ts":%2,"workspace":"%3","conversation_id":"%4","agent":"%5"})"_qs
                            .arg(w[2], QString::number(m_clock.now() - w[3].toDouble(), 'f', 3), w[1], w[0],
                                 w.value(4))
                            .toUtf8()) > 0);
        }
        store.refresh();
        MenuBarController controller(store, settings, LoginItem::standard(), Alerts::standard(), {});
        QSignalSpy chosen(&controller, &MenuBarController::takeMeThereRequested);
        Q_EMIT controller.menu()->aboutToShow();
        QStringList texts, ids;
        for (QAction* action : controller.menu()->actions()) {
            if (action->isSeparator())
                break;
            const bool badge =
                action->icon().pixmap(QSize(22, 22), 2.0).toImage().pixelColor(32, 10) == 0xFF3B30;
            texts << action->text() + (badge ? u"*"_qs : QString());
            if (action->isEnabled() && (action->trigger(), !chosen.isEmpty()))
                ids << chosen.takeFirst().value(0).toString();
        }
        QTEST(texts.join(u'|'), "lines");
        QTEST(ids.join(u'|'), "ids");
        m_clock.advance(3600); // the ages go on while the menu stays open
        if (perTab)
            QTRY_COMPARE(controller.menu()->actions().at(2)->text(),
                         u"p #1 \u2014 Waiting for your answer \u00b7 1 h"_qs);
    }

    // Keys pressed while the menu is open; Qt matches none of them there by itself.
    void shortcuts_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("item");
        QTest::newRow("Ctrl+L") << int(Qt::Key_L) << Qt::KeyboardModifiers(Qt::ControlModifier)
                                << "Show Floating Light";
        QTest::newRow("= with the Shift a layout needs")
            << int(Qt::Key_Equal) << (Qt::ControlModifier | Qt::ShiftModifier) << "Larger";
        QTest::newRow("- on the keypad")
            << int(Qt::Key_Minus) << (Qt::ControlModifier | Qt::KeypadModifier) << "Smaller";
        QTest::newRow("Shift makes a letter another key")
            << int(Qt::Key_L) << (Qt::ControlModifier | Qt::ShiftModifier) << "";
        QTest::newRow("no Ctrl") << int(Qt::Key_L) << Qt::KeyboardModifiers() << "";
    }
    void shortcuts()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, item);
        UserDefaults defaults(m_dir.filePath(u"keys.json"_qs));
        AppSettings settings(defaults);
        MenuCommands commands(settings, LoginItem::standard(), Alerts::standard(), {});
        const TableMenu menu(MenuItems::table(commands, {}, {}));
        const MenuShortcuts shortcuts(menu.menus());
        const QAction* action = shortcuts.actionFor(QKeyEvent(QEvent::KeyPress, key, modifiers));
        QCOMPARE(action ? action->text() : QString(), item);
    }

    // The report after an install names the agents whose hooks are in place and
    // what each needs to take them up. Per agent: "I" installed, "a" found
    // without hooks, "-" absent.
    void hooksReport_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("agents");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("text");
        const QString updates =
            u"The status light updates as the agent works. Cursor reloads hooks on save"_qs;
        QTest::newRow("Cursor and Claude Code")
            << true << "II--"
            << "Hooks installed for Cursor and Claude Code"
            << updates + "; restart Claude Code sessions to pick up the new hooks.";
        QTest::newRow("Cursor alone") << true << "I---"
                                      << "Hooks installed for Cursor" << updates + ".";
        QTest::newRow("all four")
            << true << "IIII"
            << "Hooks installed for Cursor, Claude Code, Codex CLI and Gemini CLI"
            << updates + "; restart Claude Code, Codex CLI and Gemini CLI sessions to pick up the new hooks. "
                         "Codex CLI runs them once you trust them in its /hooks screen.";
        QTest::newRow("Codex CLI without hooks")
            << true << "I-a-"
            << "Hooks installed for Cursor" << updates + ". Hooks are not in place for Codex CLI.";
#ifndef Q_OS_MACOS
        QTest::newRow("failed") << false << "IIII"
                                << "Could not install hooks"
                                << "Writing to the hooks config failed. The details are in the journal:"
                                   "<p style=\"white-space:pre\">journalctl --user -t korvane</p>";
#endif
    }
    void hooksReport()
    {
        QFETCH(bool, ok);
        QFETCH(QString, agents);
        QFETCH(QString, message);
        QFETCH(QString, text);
        const QList<HooksReport::Agent> all = {
            {u"Cursor"_qs, true, true, u"Cursor reloads hooks on save"_qs, {}},
            {u"Claude Code"_qs, true, true, {}, {}},
            {u"Codex CLI"_qs,
             true,
             true,
             {},
             u"Codex CLI runs them once you trust them in its /hooks screen."_qs},
            {u"Gemini CLI"_qs, true, true, {}, {}},
        };
        MenuCommands::Actions actions;
        actions.installHooks = [ok] { return ok; };
        actions.agents = [&] {
            QList<HooksReport::Agent> here = all;
            for (qsizetype i = 0; i < here.size(); ++i) {
                here[i].available = agents.at(i) != u'-';
                here[i].installed = agents.at(i) == u'I';
            }
            return here;
        };
        UserDefaults defaults(m_dir.filePath(u"report.json"_qs));
        AppSettings settings(defaults);
        RecordingAlerts alerts;
        MenuCommands(settings, LoginItem::standard(), alerts, actions).reinstallHooks();
        QCOMPARE(alerts.shown.size(), 1);
        QCOMPARE(alerts.shown.first().message, message);
        QCOMPARE(alerts.shown.first().informativeText, text);
        QCOMPARE(alerts.shown.first().style, ok ? Alerts::Style::Informational : Alerts::Style::Warning);
    }
};

KORVANE_GUI_TEST_MAIN(TestMenuBarController)
#include "tst_menubarcontroller.moc"
