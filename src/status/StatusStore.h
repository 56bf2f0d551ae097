#pragma once

#include "platform/Clock.h"
#include "status/AgentState.h"
#include "status/StateRecord.h"
#include "status/StringPool.h"
#include "status/WindowStatus.h"

#include <QObject>
#include <QString>
#include <string>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace korvane {

// The single source of agent status. It reads the state directory at start,
// once a second and whenever the directory changes, and publishes the overall
// state, the window rows and the tab rows -- each only when it changed.
//
// Subscribers that act on a publication connect with Qt::QueuedConnection, so
// that they run in a later turn of the event loop, never inside the assignment.
class StatusStore : public QObject {
    Q_OBJECT

public:
    static constexpr double kWorkingTimeout = 900; // a "working" record older than this is idle
    static constexpr double kWaitingGrace = 6;     // "pending" is working up to this age, then waiting
    static constexpr double kDisplayWindow = 7200; // rows older than this are not shown
    static constexpr double kPruneAfter = 86400;   // state files older than this are deleted
    static constexpr qint64 kMaxStateFileSize = 1024 * 1024;

    // The state directory is ~/.cursor/signalwick/state under QDir::homePath();
    // it is created here (a failure is ignored). Nothing is read until start().
    // Ages are measured with the clock, which must outlive the store.
    explicit StatusStore(const Clock& clock = SystemClock::instance(), QObject* parent = nullptr);
    ~StatusStore() override;

    AgentState state() const { return m_state; }
    const WindowStatusList& windows() const { return m_windows; }
    const WindowStatusList& tabs() const { return m_tabs; }
    const QString& stateDir() const { return m_stateDir; }

    bool isStarted() const;
    bool isWatching() const;

    // One pass now, then a 1-second timer and a directory watcher. A watcher
    // that lost its directory is armed again by the first pass that lists it.
    void start();
    // No pass runs after this returns.
    void stop();

    // One complete pass over the state directory.
    void refresh();

    // --- The pure steps of a pass, public for tests and benchmarks. ---
    struct TabEntry {
        QString conv;
        QString ws;
        AgentState state;
        double ts;
    };
    struct WorkspaceEntry {
        AgentState state;
        double ts;
    };
    static AgentState resolve(const StateRecord& record, double age);
    static WorkspaceEntry mergeWorkspace(const WorkspaceEntry& existing, AgentState state, double ts);
    static WindowStatusList buildTabs(const std::vector<TabEntry>& entries, double now);
    static void sortWindows(WindowStatusList& rows);
    static AgentState overallState(const WindowStatusList& sortedRows);
    static QString windowName(const QString& workspaceKey);

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
    QString m_stateDir;
    AgentState m_state = AgentState::Unknown;
    WindowStatusList m_windows;
    WindowStatusList m_tabs;
    QTimer* m_timer = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    // Reused by every pass.
    std::string m_readBuffer;
    std::vector<TabEntry> m_tabEntries;
    StringPool m_strings;
};

} // namespace korvane
