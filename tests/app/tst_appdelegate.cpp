#include "FakeClock.h"
#include "TestMain.h"
#include "app/AppDelegate.h"
#include "menubar/MenuBarController.h"
#include "overlay/TrafficLightOverlay.h"
#include "platform/Alerts.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/DefaultsKeys.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

using namespace korvane;

class TestAppDelegate : public QObject {
    Q_OBJECT

    test::FakeClock m_clock;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_defaultsPath;
    QString m_stateDir = QDir::homePath() + QStringLiteral("/.cursor/signalwick/state");
    RecordingAlerts m_alerts;
    RecordingUrlOpener m_urls;
    int m_installs = 0;
    bool m_installResult = true;

    AppServices services()
    {
        AppServices s;
        s.alerts = &m_alerts;
        s.urlOpener = &m_urls;
        s.installHooks = [this] {
            ++m_installs;
            return m_installResult;
        };
        s.updateSite = QUrl(QStringLiteral("http://127.0.0.1:9"));
        return s;
    }

    void writeStateFile(const QString& name, const QByteArray& state, double ts, const QString& workspace)
    {
        QVERIFY(QDir().mkpath(m_stateDir));
        QFile f(m_stateDir + u'/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("{\"state\":\"" + state + "\",\"ts\":" + QByteArray::number(ts, 'f', 3) +
                ",\"workspace\":\"" + workspace.toUtf8() + "\",\"conversation_id\":\"" + name.toUtf8() +
                "\"}");
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_defaultsPath = m_dir->path() + QStringLiteral("/Korvane/defaults.json");
        QDir(QDir::homePath() + QStringLiteral("/.cursor")).removeRecursively();
        QGuiApplication::setQuitOnLastWindowClosed(true);
        m_alerts.shown.clear();
        m_installs = 0;
        m_installResult = true;
    }

    void firstLaunchTurnsTheLightOnAndWelcomesOnce()
    {
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        {
            AppDelegate delegate(defaults, settings, m_clock, services());
            delegate.applicationDidFinishLaunching();
            QCOMPARE(m_installs, 1);
            QVERIFY(delegate.menuBar());
            QCOMPARE(delegate.overlay().contextMenu(), delegate.menuBar()->menu());
            QCOMPARE(defaults.boolValue(QStringLiteral("KorvaneHasLaunched")), std::optional<bool>(true));
            QCOMPARE(defaults.boolValue(QStringLiteral("OverlayWasVisible")), std::optional<bool>(true));
            QVERIFY(delegate.overlay().combinedPanel());
            QCOMPARE(m_alerts.shown.size(), 1);
            const Alerts::Request& welcome = m_alerts.shown.first();
            QCOMPARE(welcome.message, QStringLiteral("Korvane is running!"));
            QVERIFY(welcome.informativeText.startsWith(
                QStringLiteral("Look for the colored dot (\u25CF) in your menu bar at the top of the screen.\n\n"
                               "Green = agent idle, Orange = working, Red = waiting for you.\n\n")));
            QVERIFY(welcome.informativeText.endsWith(
                QStringLiteral("change its style from the menu bar icon.")));
            QCOMPARE(welcome.buttons, QStringList{QStringLiteral("Got it")});
            QVERIFY(welcome.stayOnTop);
        }
        // The same user again: no welcome, the light comes back as it was left.
        UserDefaults reread(m_defaultsPath);
        AppSettings settingsAgain(reread);
        AppDelegate again(reread, settingsAgain, m_clock, services());
        again.applicationDidFinishLaunching();
        QCOMPARE(m_alerts.shown.size(), 1);
        QCOMPARE(m_installs, 2);
        QVERIFY(again.overlay().combinedPanel());
    }

    void laterLaunchRestoresTheLightOnlyIfItWasShown_data()
    {
        QTest::addColumn<QString>("stored"); // "true", "false" or "" (absent)
        QTest::addColumn<bool>("shown");
        QTest::newRow("was visible") << "true" << true;
        QTest::newRow("was hidden") << "false" << false;
        QTest::newRow("never recorded") << "" << false;
    }
    void laterLaunchRestoresTheLightOnlyIfItWasShown()
    {
        QFETCH(QString, stored);
        QFETCH(bool, shown);
        UserDefaults defaults(m_defaultsPath);
        defaults.setBool(QStringLiteral("KorvaneHasLaunched"), true);
        if (!stored.isEmpty())
            defaults.setBool(QStringLiteral("OverlayWasVisible"), stored == u"true");
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock, services());
        delegate.applicationDidFinishLaunching();
        QVERIFY(m_alerts.shown.isEmpty());
        QCOMPARE(delegate.overlay().panelCount() > 0, shown);
        QCOMPARE(defaults.boolValue(QStringLiteral("OverlayWasVisible")).value_or(false), shown);
    }

    void hookInstallFailureLeavesTheRestOfLaunch()
    {
        m_installResult = false;
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock, services());
        delegate.applicationDidFinishLaunching();
        QCOMPARE(m_installs, 1);
        QVERIFY(delegate.store().isStarted());
        QVERIFY(delegate.menuBar());
        QVERIFY(delegate.overlay().combinedPanel());
        QCOMPARE(m_alerts.shown.size(), 1); // the welcome, no error alert
    }

    void creatingReadsNothingYet()
    {
        writeStateFile(QStringLiteral("c1.json"), "working", m_clock.now() - 5, QStringLiteral("/w/proj"));
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock, services());

        QCOMPARE(&delegate.settings(), &settings);
        QVERIFY(!delegate.store().isStarted());
        QCOMPARE(delegate.store().state(), AgentState::Unknown);
        QVERIFY(delegate.store().windows().isEmpty());
    }

    void createsTheStateDirectory()
    {
        QVERIFY(!QFileInfo::exists(m_stateDir));
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        const AppDelegate delegate(defaults, settings, m_clock, services());
        QVERIFY(QFileInfo(m_stateDir).isDir());
    }

    void launchingRunsTheFirstPassAtOnce()
    {
        writeStateFile(QStringLiteral("c1.json"), "working", m_clock.now() - 5, QStringLiteral("/w/proj"));
        writeStateFile(QStringLiteral("c2.json"), "idle", m_clock.now() - 50, QStringLiteral("/w/other"));
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock, services());

        delegate.applicationDidFinishLaunching();
        // No event has been processed: this is the pass made by start() itself.
        QVERIFY(delegate.hasFinishedLaunching());
        QVERIFY(delegate.store().isStarted());
        QVERIFY(delegate.store().isWatching());
        QCOMPARE(delegate.store().state(), AgentState::Working);
        QCOMPARE(delegate.store().windows().size(), 2);
        QCOMPARE(delegate.store().tabs().size(), 2);
    }

    void launchingMakesAnAccessory()
    {
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock, services());
        QVERIFY(QGuiApplication::quitOnLastWindowClosed());
        delegate.applicationDidFinishLaunching();
        QVERIFY(!QGuiApplication::quitOnLastWindowClosed());
    }

    void launchingWithEmptyDefaultsStoresNoPreference()
    {
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock, services());
        delegate.applicationDidFinishLaunching();
        QCoreApplication::processEvents();

        QCOMPARE(settings.overlayMode(), OverlayMode::Combined);
        QCOMPARE(settings.scale(), 1.0);
        const UserDefaults onDisk(m_defaultsPath);
        for (const char* key :
             {DefaultsKeys::mode.name, DefaultsKeys::orientation.name, DefaultsKeys::showLabels.name,
              DefaultsKeys::perTab.name, DefaultsKeys::scale.name, DefaultsKeys::lightOrder.name})
            QVERIFY2(!onDisk.contains(QString::fromLatin1(key)), key);
    }

    void launchingTwiceDoesNotStartAgain()
    {
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock, services());
        delegate.applicationDidFinishLaunching();
        delegate.applicationWillTerminate();
        delegate.applicationDidFinishLaunching();
        QVERIFY(!delegate.store().isStarted());
    }

    void quittingStopsTheStore()
    {
        writeStateFile(QStringLiteral("c1.json"), "working", m_clock.now() - 5, QStringLiteral("/w/proj"));
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock, services());

        // Launch and quit through the application's own loop, as the program does.
        bool startedInLoop = false;
        QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
        QTimer::singleShot(0, this, [&] {
            startedInLoop = delegate.store().isStarted() && delegate.store().isWatching();
            QCoreApplication::quit();
        });
        QCOMPARE(QCoreApplication::exec(), 0);

        QVERIFY(startedInLoop);
        QVERIFY(!delegate.store().isStarted());
        QVERIFY(!delegate.store().isWatching());
        // What it knew stays published.
        QCOMPARE(delegate.store().state(), AgentState::Working);
    }
};

KORVANE_GUI_TEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
