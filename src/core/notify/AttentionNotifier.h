#pragma once

#include "status/WindowStatus.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <functional>

namespace korvane {

class Notifier;

// Tells the user once when a light turns red (an agent waits for an answer or its turn
// failed), and takes the notification back when the light leaves red. Fed the rows the
// lights show: windows, or tabs in per-tab mode.
class AttentionNotifier : public QObject {
    Q_OBJECT

public:
    explicit AttentionNotifier(Notifier& notifier, QObject* parent = nullptr);

    // The first rows after construction or restart() only tell which lights are red already;
    // those were there before the user could be told, so they never notify.
    void setRows(const WindowStatusList& rows);
    // Off closes whatever is shown; on notifies only for lights that turn red from then on.
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    // Asked before a notification: true when the user already looks at that row's agent.
    void setInFront(std::function<bool(const QString& rowId)> inFront) { m_inFront = std::move(inFront); }
    // The rows change meaning (windows <-> tabs): close everything and start over.
    void restart();

Q_SIGNALS:
    // The user clicked the notification of that row.
    void activated(const QString& rowId);

private:
    void closeAll();

    Notifier& m_notifier;
    bool m_enabled = false;
    bool m_primed = false;
    QSet<QString> m_red; // rows waiting or failed at the last update
    QSet<QString> m_shown;
    std::function<bool(const QString&)> m_inFront;
};

} // namespace korvane
