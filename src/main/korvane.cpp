#include "ask/AskServer.h"
#include "menubar/TrayClickPoint.h"
#include "platform/SystemLog.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "shell/AppDelegate.h"
#include "shell/DisplayEnvironment.h"
#include "shell/HomeDirectory.h"
#include "shell/SignalQuitter.h"
#include "shell/SingleInstance.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdlib>

using namespace korvane;

namespace {

QtMessageHandler g_previousHandler = nullptr;
DisplayEnvironment g_display;
QList<std::pair<QtMsgType, QString>> g_heldMessages;

// A display that is named but cannot be opened makes Qt end the process with a
// fatal message that suggests reinstalling, after warnings of its own. Held back
// until the display is open, they give way to one line that says what is wrong.
void startupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        g_heldMessages.append({type, message});
        return;
    }
    SystemLog::instance().write(g_display.unreachableMessage());
    std::_Exit(1);
}

} // namespace

int main(int argc, char* argv[])
{
    // Before the application object: without a display Qt would abort.
    g_display = DisplayEnvironment::fromProcess();
    if (!g_display.hasDisplay()) {
        SystemLog::instance().write(DisplayEnvironment::missingDisplayMessage());
        return 1;
    }
    QString problem;
    const QString runtimeFolder =
        HomeDirectory::ensure(&problem) ? SingleInstance::runtimeFolder(&problem) : QString();
    if (runtimeFolder.isEmpty()) {
        SystemLog::instance().write(problem);
        return 1;
    }
    g_display.apply();

    g_previousHandler = qInstallMessageHandler(startupMessageHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    for (const auto& [type, message] : std::as_const(g_heldMessages))
        g_previousHandler(type, QMessageLogContext(), message);
    g_display.restore();
    TrayClickPoint::install();
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvane"));
    QIcon appIcon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        appIcon.addFile(QStringLiteral(":/icons/korvane-%1.png").arg(size));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("korvane"), appIcon));

    SignalQuitter signalQuitter;
    QObject::connect(&signalQuitter, &SignalQuitter::quitRequested, &app, &QCoreApplication::quit);

    SingleInstance instance(runtimeFolder);
    if (instance.tryAcquire() == SingleInstance::Result::AlreadyRunning)
        return 0; // the running copy shows itself; this one leaves without a word

    AppServices services;
    services.askSocket = AskServer::defaultPath();
    AppDelegate delegate(UserDefaults::standard(), AppSettings::shared(), SystemClock::instance(),
                         std::move(services));
    QObject::connect(&instance, &SingleInstance::showRequested, &delegate, &AppDelegate::reopen);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
