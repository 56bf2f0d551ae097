#include "status/StatusStore.h"

#include "agents/AgentList.h"
#include "agents/SessionReader.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>

namespace korvane {

StatusStore::StatusStore(const Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock), m_dir(QDir::homePath() + QStringLiteral("/.cursor/signalwick/state"))
{
    for (const Agent* agent : AgentList::all()) {
        if (std::unique_ptr<SessionReader> reader = agent->makeReader())
            m_readers.push_back({agent->id(), std::move(reader)});
    }
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
    m_burst = new QTimer(this);
    m_burst->setSingleShot(true);
    connect(m_burst, &QTimer::timeout, this, &StatusStore::eventPass);
    m_uptime.start();
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
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &StatusStore::directoryChanged);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &StatusStore::directoryChanged);
    }
    // The state folder, and what the readers follow (some files are rewritten in place,
    // which a folder's watch does not see).
    QStringList wanted{m_dir.path()};
    for (const Reader& r : m_readers)
        wanted += r.reader->watchedPaths();
    const QStringList watchedFiles = m_watcher->files();
    for (const QString& f : watchedFiles) {
        if (!wanted.contains(f))
            m_watcher->removePath(f);
    }
    const QStringList watched = m_watcher->directories() + watchedFiles;
    for (const QString& path : wanted) {
        if (!watched.contains(path) && QFileInfo::exists(path))
            m_watcher->addPath(path);
    }
}

void StatusStore::directoryChanged()
{
    if (!m_burst || m_burst->isActive())
        return; // the pass that is due reads this change too
    const qint64 now = m_uptime.elapsed();
    const bool quiet = now - m_eventPasses[1] >= kBurstMs;
    const bool asideOnly = now - m_eventPasses[0] >= kBurstMs && !m_lastPassChanged;
    if (quiet || asideOnly)
        eventPass();
    else
        m_burst->start(int(m_eventPasses[1] + kBurstMs - now));
}

void StatusStore::eventPass()
{
    m_eventPasses = {m_eventPasses[1], m_uptime.elapsed()};
    // The timer's pass is for ages and missed events: not due a second after this one.
    m_timer->start();
    refresh();
}

void StatusStore::refresh()
{
    const double now = m_clock.now();
    const std::optional<std::vector<StateDirectory::File>> files = m_dir.scan(now);
    if (!files) {
        m_inputs.clear();
        publish(AgentState::Unknown, {}, {});
        return;
    }
    for (const Reader& r : m_readers)
        r.reader->scan(now);
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
        const auto reader = std::find_if(m_readers.begin(), m_readers.end(),
                                         [&record](const Reader& r) { return record.agent == r.agent; });
        if (reader != m_readers.end() && !reader->reader->review(record)) {
            m_dir.remove(f.name); // as the hook does at the session's end
            continue;
        }
        inputs.push_back({std::move(record), *f.baseName});
    }
    for (const Reader& r : m_readers)
        r.reader->sweep();
    StatusRules::Result result = StatusRules::evaluate(inputs, now);
    publish(result.state, std::move(result.windows), std::move(result.tabs));
    m_inputs = std::move(inputs);

    if (m_timer)
        startWatchingDirectory(); // a folder that was missing may be back
}

std::optional<StateRecord> StatusStore::recordFor(const QString& rowId) const
{
    const StatusRules::Input* best = nullptr;
    bool bestRed = false;
    const double now = m_clock.now();
    for (const StatusRules::Input& in : m_inputs) {
        if (in.record.conversationKey(in.fileBaseName) == rowId)
            return in.record;
        const QString ws = in.record.workspaceKey();
        if (ws != rowId &&
            ws.normalized(QString::NormalizationForm_C) != rowId.normalized(QString::NormalizationForm_C))
            continue;
        const AgentState s = StatusRules::resolve(in.record, now - in.record.ts);
        const bool red = needsYou(s);
        if (!best || red > bestRed || (red == bestRed && in.record.ts > best->record.ts)) {
            best = &in;
            bestRed = red;
        }
    }
    return best ? std::optional(best->record) : std::nullopt;
}

void StatusStore::publish(AgentState state, WindowStatusList windows, WindowStatusList tabs)
{
    const auto assign = [](auto& published, auto&& value) {
        if (published == value)
            return false;
        published = std::move(value);
        return true;
    };
    bool any = assign(m_tabs, std::move(tabs));
    any |= assign(m_windows, std::move(windows));
    any |= assign(m_state, state);
    m_lastPassChanged = any;
    if (any)
        Q_EMIT changed();
}

} // namespace korvane
