#include "shell/DisplayEnvironment.h"

#include <QtGlobal>

namespace korvane {

DisplayEnvironment DisplayEnvironment::fromProcess()
{
    return {qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_SESSION_TYPE"),
            qgetenv("QT_QPA_PLATFORM")};
}

bool DisplayEnvironment::hasDisplay() const
{
#if defined(Q_OS_MACOS) || defined(Q_OS_WIN)
    return true;
#else
    return !display.isEmpty() || !waylandDisplay.isEmpty() || !qpaPlatform.isEmpty();
#endif
}

QByteArray DisplayEnvironment::forcedPlatform() const
{
#if defined(Q_OS_MACOS) || defined(Q_OS_WIN)
    return {};
#else
    const bool wayland = !waylandDisplay.isEmpty() || sessionType == "wayland";
    const bool qtChoosesWayland = qpaPlatform.isEmpty() || qpaPlatform.startsWith("wayland");
    if (wayland && !display.isEmpty() && qtChoosesWayland)
        return QByteArrayLiteral("xcb");
    return {};
#endif
}

void DisplayEnvironment::apply() const
{
    const QByteArray platform = forcedPlatform();
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
}

void DisplayEnvironment::restore() const
{
    if (forcedPlatform().isEmpty())
        return;
    if (qpaPlatform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    else
        qputenv("QT_QPA_PLATFORM", qpaPlatform);
}

QString DisplayEnvironment::missingDisplayMessage()
{
    return QStringLiteral("Korvane: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                          "start it from a desktop session");
}

QString DisplayEnvironment::unreachableMessage() const
{
    const QByteArray named = qpaPlatform.isEmpty() && !display.isEmpty() ? "DISPLAY=" + display
                             : qpaPlatform.isEmpty() && !waylandDisplay.isEmpty()
                                 ? "WAYLAND_DISPLAY=" + waylandDisplay
                                 : "QT_QPA_PLATFORM=" + qpaPlatform;
    return QStringLiteral("Korvane: cannot open the display (%1); start it from a desktop session")
        .arg(QString::fromLocal8Bit(named));
}

} // namespace korvane
