#include "TestMain.h"
#include "app/DisplayEnvironment.h"

using namespace korvane;

class TestDisplayEnvironment : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decide_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<bool>("hasDisplay");
        QTest::addColumn<QByteArray>("forced");

        QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArray() << QByteArray() << false
                                     << QByteArray();
        QTest::newRow("only a tty session")
            << QByteArray() << QByteArray() << QByteArray("tty") << QByteArray() << false << QByteArray();
        QTest::newRow("X11") << QByteArray(":0") << QByteArray() << QByteArray("x11") << QByteArray() << true
                             << QByteArray();
        QTest::newRow("Wayland with XWayland")
            << QByteArray(":0") << QByteArray("wayland-0") << QByteArray("wayland") << QByteArray() << true
            << QByteArray("xcb");
        QTest::newRow("Wayland session type only, with XWayland")
            << QByteArray(":1") << QByteArray() << QByteArray("wayland") << QByteArray() << true
            << QByteArray("xcb");
        QTest::newRow("Wayland asked for explicitly, with XWayland")
            << QByteArray(":0") << QByteArray("wayland-0") << QByteArray("wayland") << QByteArray("wayland")
            << true << QByteArray("xcb");
        QTest::newRow("Wayland list asked for, with XWayland")
            << QByteArray(":0") << QByteArray("wayland-0") << QByteArray() << QByteArray("wayland-egl;xcb")
            << true << QByteArray("xcb");
        QTest::newRow("Wayland without XWayland")
            << QByteArray() << QByteArray("wayland-0") << QByteArray("wayland") << QByteArray() << true
            << QByteArray();
        QTest::newRow("offscreen chosen") << QByteArray() << QByteArray() << QByteArray()
                                          << QByteArray("offscreen") << true << QByteArray();
        QTest::newRow("offscreen chosen on Wayland")
            << QByteArray(":0") << QByteArray("wayland-0") << QByteArray("wayland") << QByteArray("offscreen")
            << true << QByteArray();
        QTest::newRow("xcb chosen") << QByteArray(":0") << QByteArray("wayland-0") << QByteArray()
                                    << QByteArray("xcb") << true << QByteArray();
    }
    void decide()
    {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, session);
        QFETCH(QByteArray, platform);
        QFETCH(bool, hasDisplay);
        QFETCH(QByteArray, forced);

        const DisplayEnvironment env{display, wayland, session, platform};
        QCOMPARE(env.hasDisplay(), hasDisplay);
        QCOMPARE(env.forcedPlatform(), forced);
    }

    void applyAndRestore_data()
    {
        QTest::addColumn<QByteArray>("before"); // "-": not set
        QTest::addColumn<bool>("forced");
        QTest::newRow("unset, forced") << QByteArray("-") << true;
        QTest::newRow("wayland, forced") << QByteArray("wayland") << true;
        QTest::newRow("offscreen, kept") << QByteArray("offscreen") << false;
    }
    void applyAndRestore()
    {
        QFETCH(QByteArray, before);
        QFETCH(bool, forced);
        if (before == "-")
            qunsetenv("QT_QPA_PLATFORM");
        else
            qputenv("QT_QPA_PLATFORM", before);
        const DisplayEnvironment env{":0", "wayland-0", "wayland", before == "-" ? QByteArray() : before};

        env.apply();
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), forced ? QByteArray("xcb") : before);
        env.restore();
        QCOMPARE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"), before != "-");
        if (before != "-")
            QCOMPARE(qgetenv("QT_QPA_PLATFORM"), before);
    }

    void readsTheProcessEnvironment()
    {
        qputenv("DISPLAY", ":7");
        qputenv("WAYLAND_DISPLAY", "wl-7");
        qputenv("XDG_SESSION_TYPE", "wayland");
        qputenv("QT_QPA_PLATFORM", "minimal");
        const DisplayEnvironment env = DisplayEnvironment::fromProcess();
        QCOMPARE(env.display, QByteArray(":7"));
        QCOMPARE(env.waylandDisplay, QByteArray("wl-7"));
        QCOMPARE(env.sessionType, QByteArray("wayland"));
        QCOMPARE(env.qpaPlatform, QByteArray("minimal"));
    }
};

KORVANE_TEST_MAIN(TestDisplayEnvironment)
#include "tst_displayenvironment.moc"
