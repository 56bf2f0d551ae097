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

void StatusStore::refresh()
{
    const double now = m_clock.now();
    const std::optional<std::vector<StateDirectory::File>> files = m_dir.scan(now);
    if (!files) {
        listingFailed();
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
