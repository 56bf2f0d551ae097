#pragma once

#include "status/WindowStatus.h"

#include <QHash>
#include <QObject>
#include <QStringList>

namespace korvane {

class AppSettings;
class StatusStore;

// The rows the lights show: the store's tabs in per-tab mode, else its windows,
// in the user's order. Every view of the rows reads them here, and finds a row
// by its id here rather than by searching the store.
class LightRows : public QObject {
    Q_OBJECT

public:
    LightRows(const StatusStore& store, const AppSettings& settings, QObject* parent = nullptr);

    // The rows as they are now, for a reader that does not follow them.
    static WindowStatusList of(const StatusStore& store, const AppSettings& settings);
    // How many of the rows need the user: a conversation in them waits or failed.
    static int needingYou(const WindowStatusList& rows);

    const StatusStore& store() const { return m_store; }
    const WindowStatusList& rows() const { return m_rows; }
    QStringList ids() const;
    bool perTab() const { return m_perTab; }
    // The tab with this id, else the window with it, so that one light serves
    // either; nullptr when there is neither. Valid until the next change.
    const WindowStatus* find(const QString& id) const;

Q_SIGNALS:
    // After a pass of the store that changed anything (the overall state
    // included), and after a preference changed which rows are shown or their order.
    void changed();

private:
    void followStore();
    void followSettings();

    const StatusStore& m_store;
    const AppSettings& m_settings;
    bool m_perTab = false;
    WindowStatusList m_rows;
    // Copies share the store's lists; the indices point into these copies.
    WindowStatusList m_tabs;
    WindowStatusList m_windows;
    QHash<QString, qsizetype> m_tabAt;
    QHash<QString, qsizetype> m_windowAt;
};

} // namespace korvane
