#include "status/StatusStore.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QHash>
#include <QLoggingCategory>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcStatus, "korvane.status")

namespace korvane {

namespace {

// Reads one state file without ever blocking: O_NONBLOCK keeps a FIFO that
// appears under a .json name from stalling the pass, and fstat on the open
// descriptor makes sure that what we read is a regular file (links followed).
bool readRegularFile(int dirFd, const char* name, std::string& out)
{
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= StatusStore::kMaxStateFileSize;
    if (ok) {
        out.resize(static_cast<std::size_t>(st.st_size) + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == out.size()) {
                // Grew while we read it: more than the size limit allows?
                if (out.size() > static_cast<std::size_t>(StatusStore::kMaxStateFileSize)) {
                    ok = false;
                    break;
                }
                out.resize(out.size() * 2);
            }
            const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                ok = false;
                break;
            }
            if (n == 0)
                break;
            used += static_cast<std::size_t>(n);
        }
        out.resize(used);
        if (used > static_cast<std::size_t>(StatusStore::kMaxStateFileSize))
            ok = false;
    }
    ::close(fd);
    return ok;
}

bool hasJsonExtension(const char* name, std::size_t len)
{
    // Exactly ".json" at the end, lowercase; a bare ".json" has an empty base name
    // and no extension in the platform's path rules.
    return len > 5 && std::char_traits<char>::compare(name + len - 5, ".json", 5) == 0;
}

std::string sortKey(const QString& s)
{
    // UTF-8 byte order is Unicode scalar order; normalise first so that
    // canonically equal keys compare equal.
    return s.normalized(QString::NormalizationForm_C).toStdString();
}

} // namespace

StatusStore::StatusStore(const Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock),
      m_stateDir(QDir::homePath() + QStringLiteral("/.cursor/signalwick/state"))
{
    qRegisterMetaType<korvane::AgentState>();
    qRegisterMetaType<korvane::WindowStatusList>();
    QDir().mkpath(m_stateDir);
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
    return m_watcher != nullptr && !m_watcher->directories().isEmpty();
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
    startWatchingDirectory();
}

void StatusStore::stop()
{
    delete m_timer;
    m_timer = nullptr;
    delete m_watcher;
    m_watcher = nullptr;
}

void StatusStore::startWatchingDirectory()
{
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &StatusStore::refresh);
    }
    if (m_watcher->directories().isEmpty())
        m_watcher->addPath(m_stateDir);
}

AgentState StatusStore::resolve(const StateRecord& record, double age)
{
    if (record.state == u"working")
        return age <= kWorkingTimeout ? AgentState::Working : AgentState::Idle;
    if (record.state == u"pending")
        return age <= kWaitingGrace ? AgentState::Working : AgentState::Waiting;
    if (record.state == u"waiting")
        return AgentState::Waiting;
    if (record.state == u"error")
        return AgentState::Error;
    if (record.state == u"idle")
        return AgentState::Idle;
    return AgentState::Unknown;
}

StatusStore::WorkspaceEntry StatusStore::mergeWorkspace(const WorkspaceEntry& existing, AgentState state,
                                                        double ts)
{
    AgentState merged;
    if (existing.state == AgentState::Working || state == AgentState::Working)
        merged = AgentState::Working;
    else if (existing.state == AgentState::Waiting || state == AgentState::Waiting)
        merged = AgentState::Waiting;
    else
        merged = ts > existing.ts ? state : existing.state;
    return {merged, std::max(existing.ts, ts)};
}

QString StatusStore::windowName(const QString& workspaceKey)
{
    if (workspaceKey.isEmpty())
        return QStringLiteral("Unknown");
    qsizetype end = workspaceKey.size();
    while (end > 0 && workspaceKey.at(end - 1) == u'/')
        --end;
    if (end == 0)
        return QStringLiteral("/");
    const qsizetype slash = workspaceKey.lastIndexOf(u'/', end - 1);
    return workspaceKey.mid(slash + 1, end - slash - 1);
}

WindowStatusList StatusStore::buildTabs(const std::vector<TabEntry>& entries, double now)
{
    struct Keyed {
        const TabEntry* entry;
        std::string ws;
        std::string conv;
    };
    std::vector<Keyed> kept;
    kept.reserve(entries.size());
    for (const TabEntry& e : entries) {
        if (now - e.ts <= kDisplayWindow)
            kept.push_back({&e, sortKey(e.ws), sortKey(e.conv)});
    }
    std::stable_sort(kept.begin(), kept.end(), [](const Keyed& a, const Keyed& b) {
        if (a.ws != b.ws)
            return a.ws < b.ws;
        return a.conv < b.conv;
    });

    QHash<QString, int> perWorkspace;
    for (const Keyed& k : kept)
        ++perWorkspace[k.entry->ws];

    QHash<QString, int> counter;
    WindowStatusList rows;
    rows.reserve(static_cast<qsizetype>(kept.size()));
    for (const Keyed& k : kept) {
        const TabEntry& e = *k.entry;
        QString name = windowName(e.ws);
        const int n = ++counter[e.ws];
        if (perWorkspace.value(e.ws) > 1)
            name += QStringLiteral(" #") + QString::number(n);
        rows.append({e.conv, name, e.state, e.ts});
    }
    return rows;
}

void StatusStore::sortWindows(WindowStatusList& rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const WindowStatus& a, const WindowStatus& b) {
        const bool aw = a.state == AgentState::Working;
        const bool bw = b.state == AgentState::Working;
        if (aw != bw)
            return aw;
        return a.lastActivity > b.lastActivity;
    });
}

AgentState StatusStore::overallState(const WindowStatusList& rows)
{
    if (rows.isEmpty())
        return AgentState::Unknown;
    bool waiting = false;
    for (const WindowStatus& row : rows) {
        if (row.state == AgentState::Working)
            return AgentState::Working;
        waiting = waiting || row.state == AgentState::Waiting;
    }
    if (waiting)
        return AgentState::Waiting;
    const WindowStatus* newest = &rows.front();
    for (const WindowStatus& row : rows) {
        if (row.lastActivity > newest->lastActivity)
            newest = &row;
    }
    return newest->state;
}

void StatusStore::refresh()
{
    const double now = m_clock.now();
    const QByteArray dirPath = QFile::encodeName(m_stateDir);
    DIR* dir = ::opendir(dirPath.constData());
    if (!dir) {
        listingFailed();
        return;
    }
    const int dirFd = ::dirfd(dir);

    // Workspaces in first-seen order, so that ties keep the listing's order.
    std::vector<QString> wsOrder;
    QHash<QString, WorkspaceEntry> workspaces;
    std::vector<TabEntry> tabEntries;
    std::string content;

    bool listingError = false;
    for (;;) {
        // readdir reports an error only through errno; a skipped file (gone
        // since the listing, unreadable, failed unlink) must not look like one.
        errno = 0;
        const dirent* ent = ::readdir(dir);
        if (!ent) {
            listingError = errno != 0;
            break;
        }
        const std::size_t len = std::char_traits<char>::length(ent->d_name);
        if (!hasJsonExtension(ent->d_name, len))
            continue;
        // Directories, sockets, FIFOs and devices are never state files.
        if (ent->d_type != DT_UNKNOWN && ent->d_type != DT_REG && ent->d_type != DT_LNK)
            continue;
        if (!readRegularFile(dirFd, ent->d_name, content))
            continue;
        const std::optional<StateRecord> record = StateRecord::decode(content);
        if (!record)
            continue;
        const double age = now - record->ts;
        if (age > kPruneAfter) {
            ::unlinkat(dirFd, ent->d_name, 0); // a failure is retried on the next pass
            continue;
        }
        const AgentState resolved = resolve(*record, age);
        const QString ws = record->workspaceKey();
        const auto it = workspaces.find(ws);
        if (it == workspaces.end()) {
            workspaces.insert(ws, {resolved, record->ts});
            wsOrder.push_back(ws);
        } else {
            *it = mergeWorkspace(*it, resolved, record->ts);
        }
        const QString base = QFile::decodeName(QByteArray(ent->d_name, static_cast<qsizetype>(len - 5)));
        tabEntries.push_back({record->conversationKey(base), ws, resolved, record->ts});
    }
    ::closedir(dir);
    if (listingError) {
        listingFailed();
        return;
    }

    applyTabs(buildTabs(tabEntries, now));

    WindowStatusList rows;
    rows.reserve(static_cast<qsizetype>(wsOrder.size()));
    for (const QString& ws : wsOrder) {
        const WorkspaceEntry& e = workspaces[ws];
        if (now - e.ts <= kDisplayWindow)
            rows.append({ws, windowName(ws), e.state, e.ts});
    }
    sortWindows(rows);
    const AgentState overall = overallState(rows);
    applyWindows(std::move(rows));
    applyOverall(overall);

    if (m_timer && !isWatching())
        startWatchingDirectory(); // the directory came back after being removed
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
