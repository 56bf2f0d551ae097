#pragma once

#include "platform/Clock.h"
#include "platform/ProcessTable.h"
#include "status/AgentState.h"
#include "status/StateDirectory.h"
#include "status/StateRecord.h"
#include "status/StatusRules.h"
#include "status/WindowStatus.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace korvane {

class SessionReader;

// The single source of agent status. It reads the state directory at start,
// once a second and whenever the directory changes, and publishes the overall
// state, the window rows and the tab rows -- each assigned only when it changed,
// and one changed() after a pass that assigned any.
//
// Subscribers that act on a publication connect with Qt::QueuedConnection, so
// that they run in a later turn of the event loop, never inside the pass.
class StatusStore : public QObject {
    Q_OBJECT

public:
    // A directory event makes a pass at once when no event made one in the
    // last kBurstMs. Otherwise it waits, with every event after it, for one
    // pass kBurstMs after the last -- unless that pass found nothing new and
    // was the only one in the span: the hook writes its record aside in the
    // folder, then renames it, and the rename is not kept waiting.
    static constexpr int kBurstMs = 50;

    // The state directory is ~/.cursor/signalwick/state under QDir::homePath();
    // it is created here (a failure is ignored). Each agent's records also follow
    // what its reader finds in the agent's own files. Nothing is read until start().
    // Ages are measured with the clock, which must outlive the store.
    explicit StatusStore(const Clock& clock = SystemClock::instance(), QObject* parent = nullptr);
    ~StatusStore() override;

    AgentState state() const { return m_state; }
    const WindowStatusList& windows() const { return m_windows; }
    const WindowStatusList& tabs() const { return m_tabs; }
    const QString& stateDir() const { return m_dir.path(); }
    const Clock& clock() const { return m_clock; }

    bool isStarted() const;
    bool isWatching() const;

    // One pass now, then a 1-second timer and a watcher on both folders. A
    // folder that is missing or was removed is watched once a pass finds it.
    void start();
    // No pass runs after this returns.
    void stop();

    // One complete pass over the state directory.
    void refresh();

    // The record behind a row (a tab's id, or a window's: of its conversations the
    // one that needs the user, else the most recent), as of the last pass.
    std::optional<StateRecord> recordFor(const QString& rowId) const;

    // Where a record names its agent's process, the record goes with the
    // process; tests give a table of their own. Must outlive the store.
    void setProcessTable(const ProcessTable& table) { m_processes = &table; }

Q_SIGNALS:
    // After a pass that changed state(), windows() or tabs(), once.
    void changed();

private:
    void directoryChanged();
    void eventPass();
    void publish(AgentState state, WindowStatusList windows, WindowStatusList tabs);
    void startWatchingDirectory();

    const Clock& m_clock;
    const ProcessTable* m_processes = &SystemProcessTable::instance();
    StateDirectory m_dir;
    struct Reader {
        QString agent;
        std::unique_ptr<SessionReader> reader;
    };
    std::vector<Reader> m_readers;
    AgentState m_state = AgentState::Unknown;
    WindowStatusList m_windows;
    WindowStatusList m_tabs;
    std::vector<StatusRules::Input> m_inputs;
    QTimer* m_timer = nullptr;
    QTimer* m_burst = nullptr;
    QElapsedTimer m_uptime;
    // When the last two passes made by events began, the older first (ms of m_uptime).
    std::array<qint64, 2> m_eventPasses{-kBurstMs, -kBurstMs};
    bool m_lastPassChanged = false;
    QFileSystemWatcher* m_watcher = nullptr;
};

} // namespace korvane
