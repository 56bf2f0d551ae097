#include "menubar/TrayHostProbe.h"

#include "platform/X11Hints.h"

#ifdef KORVANE_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#endif
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>

namespace korvane {

namespace {

#ifdef KORVANE_HAVE_DBUS
QDBusMessage hostQuestion()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher")
        << QStringLiteral("IsStatusNotifierHostRegistered");
    return get;
}

bool saysYes(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}
#endif

bool statusNotifierHostNow()
{
#ifdef KORVANE_HAVE_DBUS
    return saysYes(QDBusConnection::sessionBus().call(hostQuestion(), QDBus::Block,
                                                      TrayHostProbe::kHostQuestionTimeoutMs));
#else
    return false; // without QtDBus Qt makes XEmbed icons only
#endif
}

} // namespace

TrayHostProbe::TrayHostProbe(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setInterval(kPollMs);
    connect(m_timer, &QTimer::timeout, this, &TrayHostProbe::poll);
}

bool TrayHostProbe::hostNow()
{
    const QString platform = QGuiApplication::platformName();
    const bool qtMayChooseWrong = platform == u"xcb" || platform.startsWith(u"wayland");
    return !qtMayChooseWrong || X11Hints::systemTrayOwned() || statusNotifierHostNow();
}

void TrayHostProbe::start(bool hostSeen)
{
    m_hostSeen = hostSeen;
    m_available = hostSeen && QSystemTrayIcon::isSystemTrayAvailable();
    m_timer->start();
}

void TrayHostProbe::poll()
{
    if (!m_hostSeen) {
        if (X11Hints::systemTrayOwned()) {
            seen();
        } else {
            askForStatusNotifierHost();
        }
        return;
    }
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available == m_available)
        return;
    m_available = available;
    Q_EMIT trayAvailabilityChanged(available);
}

void TrayHostProbe::seen()
{
    m_hostSeen = true;
    Q_EMIT hostAppeared();
    m_available = QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayHostProbe::askForStatusNotifierHost()
{
#ifdef KORVANE_HAVE_DBUS
    // Later questions go out without waiting for the answer.
    if (m_asking)
        return;
    m_asking = true;
    auto* answer = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(hostQuestion(), kHostQuestionTimeoutMs), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        m_asking = false;
        if (!m_hostSeen && saysYes(call->reply()))
            seen();
    });
#endif
}

} // namespace korvane
