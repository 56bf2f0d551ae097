#pragma once

#include <QObject>
#include <QString>

namespace korvane {

// The desktop's notification service. Notifications are named by the caller's ids;
// whatever ids the service hands out stay inside the implementation.
class Notifier : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Never blocks and never fails loudly: without a notification service nothing shows.
    virtual void show(const QString& id, const QString& summary, const QString& body) = 0;
    // Takes back the notification of `id` if it is still shown.
    virtual void close(const QString& id) = 0;

Q_SIGNALS:
    // The user clicked the notification of `id`.
    void activated(const QString& id);
};

} // namespace korvane
