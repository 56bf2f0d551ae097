#include "notify/AttentionNotifier.h"

#include "notify/Notifier.h"

namespace korvane {

AttentionNotifier::AttentionNotifier(Notifier& notifier, QObject* parent)
    : QObject(parent), m_notifier(notifier)
{
    connect(&m_notifier, &Notifier::activated, this, &AttentionNotifier::activated);
}

void AttentionNotifier::setRows(const WindowStatusList& rows)
{
    QSet<QString> red;
    for (const WindowStatus& row : rows) {
        if (needsYou(row.state))
            red.insert(row.id);
    }
    if (m_primed) {
        for (auto it = m_shown.begin(); it != m_shown.end();) {
            if (red.contains(*it)) {
                ++it;
                continue;
            }
            m_notifier.close(*it);
            it = m_shown.erase(it);
        }
        for (const WindowStatus& row : rows) {
            if (m_enabled && red.contains(row.id) && !m_red.contains(row.id) && !m_shown.contains(row.id) &&
                !(m_inFront && m_inFront(row.id))) {
                m_notifier.show(row.id, row.name, statusText(row.state));
                m_shown.insert(row.id);
            }
        }
    }
    m_red = std::move(red);
    m_primed = true;
}

void AttentionNotifier::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        closeAll();
}

void AttentionNotifier::restart()
{
    closeAll();
    m_red.clear();
    m_primed = false;
}

void AttentionNotifier::closeAll()
{
    for (const QString& id : std::as_const(m_shown))
        m_notifier.close(id);
    m_shown.clear();
}

} // namespace korvane
