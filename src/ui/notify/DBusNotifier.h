#pragma once

#include "notify/Notifier.h"

#include <QDBusConnection>
#include <QHash>

namespace korvane {

// org.freedesktop.Notifications on the session bus. Every call is asynchronous, so a
// missing or hung notification service costs nothing but a log line.
class DBusNotifier final : public Notifier {
    Q_OBJECT

public:
    explicit DBusNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                          QObject* parent = nullptr);

    void show(const QString& id, const QString& summary, const QString& body) override;
    void close(const QString& id) override;
    bool serviceRuns() const override;
    void showChoices(const QString& id, const QString& summary, const QString& body,
                     const QStringList& choices) override;

private Q_SLOTS:
    void onActionInvoked(uint serverId, const QString& action);
    void onClosed(uint serverId, uint reason);

private:
    void closeOnServer(uint serverId);
    void notify(const QString& id, const QString& summary, const QString& body, QStringList actions);

    QDBusConnection m_bus;
    QHash<QString, uint> m_serverIds; // shown, by the caller's id
    // Notify calls not answered yet; the number tells a late answer from a newer show().
    QHash<QString, quint64> m_pendingGeneration;
    quint64 m_generation = 0;
    QHash<QString, QStringList> m_choices; // the buttons of a notification, by the caller's id
};

} // namespace korvane
