// Shows the settings window with three detected windows and saves a picture of it.
// Not a test: run it by hand (offscreen, or under Xvfb to include the window frame).
//
//   settingswindow_screenshot out.png [mode] [extra-windows] [linger-ms]
//
// mode is combined, perWindow (default) or row; extra-windows adds that many idle
// windows to the three shown (to see the list scroll); linger-ms keeps the window
// up after the picture is taken, for an outside screenshot tool. KORVANE_DARK=1 in
// the environment paints it with a dark palette.

#include "TestMain.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/SettingsWindowController.h"
#include "status/StatusStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPalette>
#include <QTimer>
#include <QWidget>
#include <cstdio>

using namespace korvane;

namespace {
void writeState(const QString& dir, const QString& name, const QString& state, double ts, const QString& ws)
{
    QFile f(dir + QLatin1Char('/') + name + QStringLiteral(".json"));
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write(QStringLiteral(R"({"state":"%1","ts":%2,"workspace":"%3","conversation_id":"%4"})")
                .arg(state, QString::number(ts, 'f', 3), ws, name)
                .toUtf8());
}
} // namespace

int main(int argc, char** argv)
{
    korvane::test::isolateHome();
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s out.png [combined|perWindow|row] [extra-windows] [linger-ms]\n",
                     argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("perWindow");
    const int extra = argc > 3 ? QString::fromLocal8Bit(argv[3]).toInt() : 0;
    const int linger = argc > 4 ? QString::fromLocal8Bit(argv[4]).toInt() : 0;

    if (qEnvironmentVariableIntValue("KORVANE_DARK") == 1) {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2d));
        dark.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
        dark.setColor(QPalette::Base, QColor(0x36, 0x36, 0x39));
        dark.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
        dark.setColor(QPalette::Button, QColor(0x45, 0x45, 0x48));
        dark.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
        dark.setColor(QPalette::Mid, QColor(0x5a, 0x5a, 0x5e));
        dark.setColor(QPalette::Midlight, QColor(0x4a, 0x4a, 0x4e));
        dark.setColor(QPalette::Highlight, QColor(0x2f, 0x7c, 0xd6));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        dark.setColor(QPalette::Link, QColor(0x6c, 0xb2, 0xff));
        QApplication::setPalette(dark);
    }
    UserDefaults defaults(UserDefaults::standardPath());
    AppSettings settings(defaults);
    settings.setOverlayMode(overlayModeFromRaw(mode).value_or(OverlayMode::PerWindow));
    settings.setScale(1.5);

    StatusStore store;
    const double now = SystemClock::instance().now();
    writeState(store.stateDir(), QStringLiteral("c1"), QStringLiteral("working"), now - 5,
               QStringLiteral("/home/ada/projects/korvane"));
    writeState(store.stateDir(), QStringLiteral("c2"), QStringLiteral("waiting"), now - 40,
               QStringLiteral("/home/ada/projects/website"));
    writeState(store.stateDir(), QStringLiteral("c3"), QStringLiteral("idle"), now - 300,
               QStringLiteral("/home/ada/notes"));
    for (int i = 0; i < extra; ++i)
        writeState(store.stateDir(), QStringLiteral("x%1").arg(i), QStringLiteral("idle"), now - 600 - i,
                   QStringLiteral("/home/ada/src/tool-%1").arg(i + 1));
    store.refresh();

    SettingsWindowController controller(settings, store);
    controller.show();

    QTimer::singleShot(500, &app, [&] {
        const bool saved = controller.window()->grab().save(out, "PNG");
        std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        QTimer::singleShot(linger, &app, &QCoreApplication::quit);
    });
    const int rc = QApplication::exec();
    // What a drag under an X server did, for checking by hand.
    std::fprintf(stderr, "light order: %s\n", qPrintable(settings.lightOrder().join(QStringLiteral(", "))));
    return rc;
}
