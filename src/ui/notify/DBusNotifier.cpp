#include "notify/DBusNotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotify, "korvane.notify")

namespace korvane {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kChoice = QStringLiteral("choice-");

} // namespace

DBusNotifier::DBusNotifier(const QDBusConnection& bus, QObject* parent) : Notifier(parent), m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosed(uint, uint)));
}

bool DBusNotifier::serviceRuns() const
{
    return m_bus.isConnected() && m_bus.interface() && m_bus.interface()->isServiceRegistered(kService);
}

void DBusNotifier::show(const QString& id, const QString& summary, const QString& body)
{
    m_choices.remove(id);
    notify(id, summary, body, {});
}

void DBusNotifier::showChoices(const QString& id, const QString& summary, const QString& body,
                               const QStringList& choices)
{
    QStringList actions;
    for (qsizetype i = 0; i < choices.size(); ++i)
        actions << kChoice + QString::number(i) << choices[i];
    m_choices.insert(id, choices);
    notify(id, summary, body, actions);
}

void DBusNotifier::notify(const QString& id, const QString& summary, const QString& body, QStringList actions)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // "default" is the action of a click on the notification itself.
    actions.prepend(QStringLiteral("Show Light"));
    actions.prepend(QStringLiteral("default"));
    const QVariantMap hints = {{QStringLiteral("desktop-entry"), QStringLiteral("korvane")},
                               {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")}};
    call << QStringLiteral("Korvane") << m_serverIds.value(id, 0u) << QStringLiteral("korvane") << summary
         << body << actions << hints << -1;
    const quint64 generation = ++m_generation;
    m_pendingGeneration.insert(id, generation);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, id, generation](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                const bool current = m_pendingGeneration.value(id) == generation;
                if (reply.isError()) {
                    qCInfo(lcNotify) << "no notification shown:" << reply.error().message();
                    if (current) {
                        m_pendingGeneration.remove(id);
                    }
                    return;
                }
                if (!current) {
                    // Taken back (or shown anew) before the service answered.
                    closeOnServer(reply.value());
                    return;
                }
                m_pendingGeneration.remove(id);
                m_serverIds.insert(id, reply.value());
            });
}

void DBusNotifier::close(const QString& id)
{
    m_pendingGeneration.remove(id);
    m_choices.remove(id);
    if (const auto it = m_serverIds.constFind(id); it != m_serverIds.cend()) {
        closeOnServer(*it);
        m_serverIds.erase(it);
    }
}

void DBusNotifier::closeOnServer(uint serverId)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
    call << serverId;
    m_bus.asyncCall(call);
}

void DBusNotifier::onActionInvoked(uint serverId, const QString& action)
{
    const QString id = m_serverIds.key(serverId);
    if (id.isNull())
        return;
    if (action == QLatin1String("default")) {
        Q_EMIT activated(id);
    } else if (action.startsWith(kChoice)) {
        bool ok = false;
        const qsizetype i = action.mid(kChoice.size()).toLongLong(&ok);
        const QStringList choices = m_choices.value(id);
        if (ok && i >= 0 && i < choices.size())
            Q_EMIT chosen(id, choices[i]);
    }
}

void DBusNotifier::onClosed(uint serverId, uint reason)
{
    Q_UNUSED(reason);
    const QString id = m_serverIds.key(serverId);
    if (!id.isNull())
        m_serverIds.remove(id);
}

} // namespace korvane
