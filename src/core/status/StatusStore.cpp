#include "status/StatusStore.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace korvane {

StatusStore::StatusStore(const Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock), m_dir(QDir::homePath() + QStringLiteral("/.cursor/signalwick/state")),
      m_sessions(QDir::homePath() + QStringLiteral("/.claude/sessions"))
{
    qRegisterMetaType<korvane::AgentState>();
    qRegisterMetaType<korvane::WindowStatusList>();
    // Owner-only, as the hook script makes it: the records name the user's projects.
    QDir().mkpath(QFileInfo(m_dir.path()).path());
    QDir().mkdir(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

StatusStore::~StatusStore()
{
    stop();
}

bool StatusStore::isStarted() const
{
    return m_timer != nullptr;
}

bool StatusStore::isWatching() const
{
    return m_watcher != nullptr && m_watcher->directories().contains(m_dir.path());
}

void StatusStore::start()
{
    if (m_timer)
        return;
    refresh();
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &StatusStore::refresh);
    m_timer->start();
    // A burst of renames makes one pass, at most kBurstMs after its first event.
    m_burst = new QTimer(this);
    m_burst->setSingleShot(true);
    m_burst->setInterval(kBurstMs);
    connect(m_burst, &QTimer::timeout, this, &StatusStore::refresh);
    startWatchingDirectory();
}

void StatusStore::stop()
{
    delete m_timer;
    m_timer = nullptr;
    delete m_burst;
    m_burst = nullptr;
    delete m_watcher;
    m_watcher = nullptr;
}

void StatusStore::startWatchingDirectory()
{
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        const auto fold = [this] {
            if (m_burst && !m_burst->isActive())
                m_burst->start();
        };
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, fold);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, fold);
    }
    const QStringList watched = m_watcher->directories();
    for (const QString& dir : {m_dir.path(), m_sessions.path()}) {
        if (!watched.contains(dir) && QFileInfo(dir).isDir())
            m_watcher->addPath(dir);
    }
    // Claude Code rewrites its session files in place, which the folder's watch does not see.
    const QStringList files = m_sessions.filePaths();
    const QStringList watchedFiles = m_watcher->files();
    for (const QString& f : watchedFiles) {
        if (!files.contains(f))
            m_watcher->removePath(f);
    }
    for (const QString& f : files) {
        if (!watchedFiles.contains(f))
            m_watcher->addPath(f);
    }
}

void StatusStore::refresh()
{
    const double now = m_clock.now();
    const std::optional<std::vector<StateDirectory::File>> files = m_dir.scan(now);
    if (!files) {
        listingFailed();
        return;
    }
    m_sessions.scan(now);
    std::vector<StatusRules::Input> inputs;
    inputs.reserve(files->size());
    for (const StateDirectory::File& f : *files) {
        if (StatusRules::isExpired(f.record->ts, now)) {
            m_dir.remove(f.name);
            continue;
        }
        // Killed, or its terminal closed: no hook ends the conversation.
        if (const auto& p = f.record->process; p && m_processes->isRunning(p->pid, p->start) == false) {
            m_dir.remove(f.name);
            continue;
        }
        StateRecord record = *f.record;
        const SessionRegistry::Session* session = record.agent == u"claude-code" && record.conversationId
                                                      ? m_sessions.find(*record.conversationId)
                                                      : nullptr;
        if (session && session->ended) {
            m_dir.remove(f.name); // as the hook does at SessionEnd
            continue;
        }
        if (session && session->updated > record.ts) {
            record.state = session->state;
            record.ts = session->updated;
        }
        if (std::optional<QString> end = m_logs.turnEnd(record))
            record.state = std::move(*end);
        inputs.push_back({std::move(record), *f.baseName});
    }
    m_logs.sweep();
    StatusRules::Result result = StatusRules::evaluate(inputs, now);
    applyTabs(std::move(result.tabs));
    applyWindows(std::move(result.windows));
    applyOverall(result.state);

    if (m_timer)
        startWatchingDirectory(); // a folder that was missing may be back
}

void StatusStore::listingFailed()
{
    applyOverall(AgentState::Unknown);
    applyWindows({});
    applyTabs({});
}

void StatusStore::applyOverall(AgentState state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged(m_state);
    Q_EMIT changed();
}

void StatusStore::applyWindows(WindowStatusList windows)
{
    if (windows == m_windows)
        return;
    m_windows = std::move(windows);
    Q_EMIT windowsChanged(m_windows);
    Q_EMIT changed();
}

void StatusStore::applyTabs(WindowStatusList tabs)
{
    if (tabs == m_tabs)
        return;
    m_tabs = std::move(tabs);
    Q_EMIT tabsChanged(m_tabs);
    Q_EMIT changed();
}

} // namespace korvane
