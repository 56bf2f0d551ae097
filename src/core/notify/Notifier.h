#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace korvane {

// The desktop's notification service. Notifications are named by the caller's ids;
// whatever ids the service hands out stay inside the implementation.
class Notifier : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Never blocks and never fails loudly: without a notification service nothing shows.
    virtual void show(const QString& id, const QString& summary, const QString& body) = 0;
    // Like show(), with a button for each choice; a service without buttons shows none.
    virtual void showChoices(const QString& id, const QString& summary, const QString& body,
                             const QStringList& choices)
    {
        Q_UNUSED(choices);
        show(id, summary, body);
    }
    // Whether a notification service is there to show anything now (else say it another way).
    virtual bool serviceRuns() const { return true; }
    // Takes back the notification of `id` if it is still shown.
    virtual void close(const QString& id) = 0;

Q_SIGNALS:
    // The user clicked the notification of `id`.
    void activated(const QString& id);
    // The user chose a button of the notification of `id`.
    void chosen(const QString& id, const QString& choice);
};

} // namespace korvane
