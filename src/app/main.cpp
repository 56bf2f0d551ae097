#include "app/AppDelegate.h"
#include "app/DisplayEnvironment.h"
#include "app/SignalQuitter.h"
#include "app/SingleInstance.h"
#include "platform/SystemLog.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

using namespace korvane;

int main(int argc, char* argv[])
{
    // Before the application object: without a display Qt would abort.
    const DisplayEnvironment display = DisplayEnvironment::fromProcess();
    if (!display.hasDisplay()) {
        SystemLog::instance().write(DisplayEnvironment::missingDisplayMessage());
        return 1;
    }
    display.apply();

    QApplication app(argc, argv);
    display.restore();
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvane"));
    QIcon appIcon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        appIcon.addFile(QStringLiteral(":/icons/korvane-%1.png").arg(size));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("korvane"), appIcon));

    SignalQuitter signalQuitter;
    QObject::connect(&signalQuitter, &SignalQuitter::quitRequested, &app, &QCoreApplication::quit);

    SingleInstance instance;
    if (instance.tryAcquire() == SingleInstance::Result::AlreadyRunning)
        return 0; // the running copy stays; this one leaves without a word

    AppDelegate delegate(UserDefaults::standard(), AppSettings::shared());
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
