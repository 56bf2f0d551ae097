#include "FakeClock.h"
#include "TestMain.h"
#include "app/AppDelegate.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"

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
    }

    void creatingReadsNothingYet()
    {
        writeStateFile(QStringLiteral("c1.json"), "working", m_clock.now() - 5, QStringLiteral("/w/proj"));
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock);

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
        const AppDelegate delegate(defaults, settings, m_clock);
        QVERIFY(QFileInfo(m_stateDir).isDir());
    }

    void launchingRunsTheFirstPassAtOnce()
    {
        writeStateFile(QStringLiteral("c1.json"), "working", m_clock.now() - 5, QStringLiteral("/w/proj"));
        writeStateFile(QStringLiteral("c2.json"), "idle", m_clock.now() - 50, QStringLiteral("/w/other"));
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock);

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
        AppDelegate delegate(defaults, settings, m_clock);
        QVERIFY(QGuiApplication::quitOnLastWindowClosed());
        delegate.applicationDidFinishLaunching();
        QVERIFY(!QGuiApplication::quitOnLastWindowClosed());
    }

    void launchingWithEmptyDefaultsStoresNoPreference()
    {
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock);
        delegate.applicationDidFinishLaunching();
        QCoreApplication::processEvents();

        QCOMPARE(settings.overlayMode(), OverlayMode::Combined);
        QCOMPARE(settings.scale(), 1.0);
        const UserDefaults onDisk(m_defaultsPath);
        for (const char* key :
             {AppSettings::kModeKey, AppSettings::kOrientationKey, AppSettings::kShowLabelsKey,
              AppSettings::kPerTabKey, AppSettings::kScaleKey, AppSettings::kLightOrderKey})
            QVERIFY2(!onDisk.contains(QString::fromLatin1(key)), key);
    }

    void launchingTwiceDoesNotStartAgain()
    {
        UserDefaults defaults(m_defaultsPath);
        AppSettings settings(defaults);
        AppDelegate delegate(defaults, settings, m_clock);
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
        AppDelegate delegate(defaults, settings, m_clock);

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
