#include "settings/LightRows.h"

#include "settings/AppSettings.h"
#include "status/StatusStore.h"

#include <algorithm>

namespace korvane {

namespace {

QHash<QString, qsizetype> indexOf(const WindowStatusList& rows)
{
    QHash<QString, qsizetype> at;
    at.reserve(rows.size());
    // Backwards, so that the first row with an id is the one kept.
    for (qsizetype i = rows.size() - 1; i >= 0; --i)
        at.insert(rows.at(i).id, i);
    return at;
}

} // namespace

LightRows::LightRows(const StatusStore& store, const AppSettings& settings, QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings)
{
    followStore();
    connect(&store, &StatusStore::changed, this, [this] {
        followStore();
        Q_EMIT changed();
    });
    connect(&settings, &AppSettings::perTabChanged, this, &LightRows::followSettings);
    connect(&settings, &AppSettings::lightOrderChanged, this, &LightRows::followSettings);
}

WindowStatusList LightRows::of(const StatusStore& store, const AppSettings& settings)
{
    return AppSettings::order(settings.perTab() ? store.tabs() : store.windows(), settings.lightOrder());
}

int LightRows::needingYou(const WindowStatusList& rows)
{
    return int(std::count_if(rows.begin(), rows.end(), [](const WindowStatus& row) { return row.needsYou; }));
}

QStringList LightRows::ids() const
{
    QStringList ids;
    ids.reserve(m_rows.size());
    for (const WindowStatus& row : m_rows)
        ids.append(row.id);
    return ids;
}

const WindowStatus* LightRows::find(const QString& id) const
{
    if (const auto tab = m_tabAt.constFind(id); tab != m_tabAt.cend())
        return &m_tabs.at(*tab);
    if (const auto window = m_windowAt.constFind(id); window != m_windowAt.cend())
        return &m_windows.at(*window);
    return nullptr;
}

void LightRows::followStore()
{
    m_tabs = m_store.tabs();
    m_windows = m_store.windows();
    m_tabAt = indexOf(m_tabs);
    m_windowAt = indexOf(m_windows);
    m_perTab = m_settings.perTab();
    m_rows = of(m_store, m_settings);
}

void LightRows::followSettings()
{
    // Every assignment is announced; only one that changes the rows is passed on.
    WindowStatusList rows = of(m_store, m_settings);
    if (m_settings.perTab() == m_perTab && rows == m_rows)
        return;
    m_perTab = m_settings.perTab();
    m_rows = std::move(rows);
    Q_EMIT changed();
}

} // namespace korvane
