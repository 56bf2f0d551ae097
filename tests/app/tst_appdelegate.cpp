#include "FakeClock.h"
#include "Recorders.h"
#include "TestMain.h"
#include "app/AppDelegate.h"
#include "app/DisplayEnvironment.h"
#include "app/HomeDirectory.h"
#include "overlay/TrafficLightOverlay.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/DefaultsKeys.h"

#include <QTemporaryDir>
#include <pwd.h>
#include <unistd.h>

using namespace korvane;

class TestAppDelegate : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Two launches of the same user: the welcome comes once, the light follows what was stored.
    void launch_data()
    {
        QTest::addColumn<QString>("stored"); // defaults before the first launch
        QTest::addColumn<int>("welcomes");
        QTest::addColumn<bool>("lightShown");
        QTest::newRow("first launch") << "" << 1 << true;
        QTest::newRow("light was visible") << "visible" << 0 << true;
        QTest::newRow("light was hidden") << "hidden" << 0 << false;
        QTest::newRow("visibility never stored") << "launched" << 0 << false;
    }
    void launch()
    {
        QFETCH(QString, stored);
        QFETCH(int, welcomes);
        QFETCH(bool, lightShown);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        if (!stored.isEmpty()) {
            UserDefaults seed(path);
            seed.setBool(DefaultsKeys::hasLaunched.key(), true);
            if (stored != u"launched")
                seed.setBool(DefaultsKeys::overlayWasVisible.key(), stored == u"visible");
        }
        test::FakeClock clock;
        RecordingAlerts alerts;
        int installs = 0;
        AppServices services{&alerts, nullptr, nullptr, [&installs] { return ++installs, false; }, {}};
        for (int run = 0; run < 2; ++run) {
            UserDefaults defaults(path);
            AppSettings settings(defaults);
            AppDelegate delegate(defaults, settings, clock, services);
            delegate.applicationDidFinishLaunching();
            delegate.applicationDidFinishLaunching();
            QCOMPARE(installs, run + 1); // once per launch, and a failure stops nothing
            QCOMPARE(alerts.shown.size(), welcomes);
            QCOMPARE(delegate.overlay().panelCount() > 0, lightShown);
            QVERIFY(delegate.store().isStarted());
        }
    }

    // Without HOME, Qt's home would be "/": the account's own stands in.
    void home_data()
    {
        QTest::addColumn<QByteArray>("value"); // "-": unset
        QTest::addColumn<QString>("home");
        const QString account = QFile::decodeName(::getpwuid(::getuid())->pw_dir);
        QTest::newRow("unset") << QByteArray("-") << account;
        QTest::newRow("empty") << QByteArray() << account;
        QTest::newRow("set") << QByteArray("/tmp") << "/tmp";
    }
    void home()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, home);
        const QByteArray saved = qgetenv("HOME");
        value == "-" ? qunsetenv("HOME") : qputenv("HOME", value);
        QString error;
        QVERIFY(HomeDirectory::ensure(&error));
        QCOMPARE(QDir::homePath(), home);
        qputenv("HOME", saved);
    }

    // Wayland lets no program place its windows, so XWayland is preferred when it runs.
    void forcedPlatform_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<QByteArray>("forced");
        QTest::newRow("X11") << QByteArray(":0") << QByteArray() << QByteArray("x11") << QByteArray()
                             << QByteArray();
        QTest::newRow("Wayland + XWayland") << QByteArray(":0") << QByteArray("wayland-0") << QByteArray()
                                            << QByteArray() << QByteArray("xcb");
        QTest::newRow("Wayland session + XWayland, wayland asked")
            << QByteArray(":1") << QByteArray() << QByteArray("wayland") << QByteArray("wayland-egl")
            << QByteArray("xcb");
        QTest::newRow("Wayland only") << QByteArray() << QByteArray("wayland-0") << QByteArray("wayland")
                                      << QByteArray() << QByteArray();
        QTest::newRow("offscreen kept") << QByteArray(":0") << QByteArray("wayland-0") << QByteArray()
                                        << QByteArray("offscreen") << QByteArray();
    }
    void forcedPlatform()
    {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, session);
        QFETCH(QByteArray, platform);
        QFETCH(QByteArray, forced);
        QCOMPARE((DisplayEnvironment{display, wayland, session, platform}.forcedPlatform()), forced);
    }
};

KORVANE_GUI_TEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
