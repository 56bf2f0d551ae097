#pragma once

#include "platform/Clock.h"
#include "status/AgentState.h"
#include "status/StateDirectory.h"
#include "status/StateRecord.h"
#include "status/StatusRules.h"
#include "status/WindowStatus.h"

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace korvane {

class SessionReader;

// The single source of agent status. It reads the state directory at start,
// once a second and whenever the directory changes, and publishes the overall
// state, the window rows and the tab rows -- each only when it changed.
//
// Subscribers that act on a publication connect with Qt::QueuedConnection, so
// that they run in a later turn of the event loop, never inside the assignment.
class StatusStore : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kMaxStateFileSize = qint64(StateDirectory::kMaxFileSize);
    // Directory events closer together than this make one pass.
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

    bool isStarted() const;
    bool isWatching() const;

    // One pass now, then a 1-second timer and a watcher on both folders. A
    // folder that is missing or was removed is watched once a pass finds it.
    void start();
    // No pass runs after this returns.
    void stop();

    // One complete pass over the state directory.
    void refresh();

    static AgentState resolve(const StateRecord& record, double age)
    {
        return StatusRules::resolve(record, age);
    }

Q_SIGNALS:
    // Emitted after the value changed, in the order tabs, windows, state
    // (after a failed listing: state, windows, tabs).
    void stateChanged(korvane::AgentState state);
    void windowsChanged(const korvane::WindowStatusList& windows);
    void tabsChanged(const korvane::WindowStatusList& tabs);
    // After any of the three changed; views that show everything redraw on it.
    void changed();

private:
    void applyOverall(AgentState state);
    void applyWindows(WindowStatusList windows);
    void applyTabs(WindowStatusList tabs);
    void listingFailed();
    void startWatchingDirectory();

    const Clock& m_clock;
    StateDirectory m_dir;
    struct Reader {
        QString agent;
        std::unique_ptr<SessionReader> reader;
    };
    std::vector<Reader> m_readers;
    AgentState m_state = AgentState::Unknown;
    WindowStatusList m_windows;
    WindowStatusList m_tabs;
    QTimer* m_timer = nullptr;
    QTimer* m_burst = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
};

} // namespace korvane
