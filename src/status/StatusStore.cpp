#include "status/StatusStore.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QLoggingCategory>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcStatus, "korvane.status")

namespace korvane {

namespace {

constexpr std::size_t kMaxFileSize = std::size_t(StatusStore::kMaxStateFileSize);
constexpr std::size_t kInitialReadBuffer = 64 * 1024;

// Reads one state file into buf without ever blocking and without opening
// anything but a regular file. The directory entry's type rules out FIFOs,
// sockets, devices and directories before anything is opened; a symbolic link
// (or a file system that does not report types) is checked with stat first, so
// that a link to a FIFO or a device is never opened either. O_NONBLOCK keeps an
// entry that was swapped for a FIFO after the listing from stalling the pass.
// A file over the size limit counts as unreadable.
bool readStateFile(int dirFd, const dirent& ent, std::string& buf, std::string_view& content)
{
    if (ent.d_type == DT_LNK || ent.d_type == DT_UNKNOWN) {
        struct stat st {};
        if (::fstatat(dirFd, ent.d_name, &st, 0) != 0 || !S_ISREG(st.st_mode) ||
            std::size_t(st.st_size) > kMaxFileSize)
            return false;
    } else if (ent.d_type != DT_REG) {
        return false;
    }
    const int fd = ::openat(dirFd, ent.d_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    // No fstat for the size: the buffer is far larger than a state file, a read
    // that returns less than it asked for has reached the end, and a file that
    // fills the buffer makes it grow up to one byte past the limit.
    if (buf.size() < kInitialReadBuffer)
        buf.resize(kInitialReadBuffer);
    bool ok = true;
    std::size_t used = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf.data() + used, buf.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        used += std::size_t(n);
        if (used > kMaxFileSize) {
            ok = false;
            break;
        }
        if (n == 0 || used < buf.size())
            break;
        buf.resize(std::min(buf.size() * 2, kMaxFileSize + 1));
    }
    ::close(fd);
    content = std::string_view(buf.data(), used);
    return ok;
}

bool hasJsonExtension(std::string_view name)
{
    // Exactly ".json" at the end, lowercase; a bare ".json" is a hidden file with
    // no extension in the platform's path rules.
    return name.size() > 5 && name.substr(name.size() - 5) == ".json";
}

// The name without ".json", as QFile::decodeName() would give it.
QString fileBaseName(std::string_view name, StringPool& pool)
{
    const std::string_view base = name.substr(0, name.size() - 5);
#ifdef Q_OS_DARWIN
    return QFile::decodeName(QByteArray(base.data(), qsizetype(base.size())));
#else
    return pool.intern(base);
#endif
}

char16_t scalarOrderKey(char16_t u)
{
    // Moves the surrogates above the rest of the BMP, so that UTF-16 units
    // compare in the order of the code points they encode.
    if (u < 0xD800)
        return u;
    return u >= 0xE000 ? char16_t(u - 0x800) : char16_t(u + 0x2000);
}

// Nothing below U+0300 decomposes or combines: such text is already NFC, and
// QString::normalized() need not look at it.
bool isNfcByRange(const QString& s)
{
    // OR-ing the units errs only towards "not sure", and vectorises.
    const auto* p = reinterpret_cast<const char16_t*>(s.constData());
    unsigned bits = 0;
    for (qsizetype i = 0; i < s.size(); ++i)
        bits |= p[i];
    return bits < 0x300;
}

// A string as it sorts: its canonical spelling (canonically equivalent
// spellings are one key) and whether plain UTF-16 order is code point order
// for it, which holds unless it has surrogates.
struct SortKey {
    QString text;
    bool noSurrogates;
};

SortKey sortKey(const QString& s)
{
    const auto hasSurrogates = [](const QString& t) {
        const std::u16string_view units(reinterpret_cast<const char16_t*>(t.utf16()), std::size_t(t.size()));
        return std::any_of(units.begin(), units.end(), [](char16_t c) { return c >= 0xD800 && c < 0xE000; });
    };
    if (isNfcByRange(s))
        return {s, true};
    QString nfc = s.normalized(QString::NormalizationForm_C);
    const bool plain = !hasSurrogates(nfc);
    return {std::move(nfc), plain};
}

// Canonically equivalent spellings of a key are one key.
QString canonical(const QString& s)
{
    return isNfcByRange(s) ? s : s.normalized(QString::NormalizationForm_C);
}

// name + " #" + n, in one allocation.
QString numberedName(const QString& name, std::size_t n)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    QString out;
    out.reserve(name.size() + 2 + (end - digits));
    out.append(name);
    out.append(QLatin1StringView(" #"));
    out.append(QLatin1StringView(digits, end - digits));
    return out;
}

// Three-way comparison by Unicode scalar values.
int compareScalars(const QString& a, const QString& b)
{
    const auto* pa = reinterpret_cast<const char16_t*>(a.constData());
    const auto* pb = reinterpret_cast<const char16_t*>(b.constData());
    const qsizetype n = std::min(a.size(), b.size());
    const auto [ia, ib] = std::mismatch(pa, pa + n, pb);
    if (ia == pa + n)
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    return scalarOrderKey(*ia) < scalarOrderKey(*ib) ? -1 : 1;
}

int compareKeys(const SortKey& a, const SortKey& b)
{
    return a.noSurrogates && b.noSurrogates ? a.text.compare(b.text) : compareScalars(a.text, b.text);
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
    if (m_watcher->directories().isEmpty() && QFileInfo(m_stateDir).isDir())
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
    struct Tab {
        const TabEntry* entry;
        SortKey conv;
    };
    struct Group {
        SortKey ws;
        std::vector<Tab> tabs;
    };
    // Sorting by workspace and then by conversation is the same as grouping by
    // workspace, ordering the groups and then each group on its own, and cheaper
    // with a few workspaces and many tabs.
    std::vector<Group> groups;
    QHash<QString, std::size_t> groupOf;
    for (const TabEntry& e : entries) {
        if (now - e.ts > kDisplayWindow)
            continue;
        SortKey ws = sortKey(e.ws);
        std::size_t index;
        if (const auto it = groupOf.constFind(ws.text); it != groupOf.cend()) {
            index = *it;
        } else {
            index = groups.size();
            groupOf.insert(ws.text, index);
            groups.push_back({std::move(ws), {}});
        }
        groups[index].tabs.push_back({&e, sortKey(e.conv)});
    }
    std::vector<Group*> ordered;
    ordered.reserve(groups.size());
    for (Group& g : groups)
        ordered.push_back(&g);
    std::sort(ordered.begin(), ordered.end(),
              [](const Group* a, const Group* b) { return compareKeys(a->ws, b->ws) < 0; });

    WindowStatusList rows;
    rows.reserve(qsizetype(entries.size()));
    for (Group* g : ordered) {
        std::stable_sort(g->tabs.begin(), g->tabs.end(),
                         [](const Tab& a, const Tab& b) { return compareKeys(a.conv, b.conv) < 0; });
        const bool numbered = g->tabs.size() > 1;
        const QString* nameOf = nullptr;
        QString name;
        std::size_t number = 0;
        for (const Tab& t : g->tabs) {
            const TabEntry& e = *t.entry;
            if (!nameOf || e.ws != *nameOf) {
                name = windowName(e.ws);
                nameOf = &e.ws;
            }
            ++number;
            rows.append({e.conv, numbered ? numberedName(name, number) : name, e.state, e.ts});
        }
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
    DIR* dir = ::opendir(QFile::encodeName(m_stateDir).constData());
    if (!dir) {
        listingFailed();
        return;
    }
    const int dirFd = ::dirfd(dir);

    // The workspace table, in first-seen order so that ties keep the listing's
    // order, keyed by the canonical spelling of the workspace.
    struct Workspace {
        QString key;
        WorkspaceEntry entry;
    };
    std::vector<Workspace> workspaces;
    QHash<QString, std::size_t> workspaceIndex;
    std::vector<TabEntry>& tabEntries = m_tabEntries;
    tabEntries.clear();
    m_strings.nextRound();

    bool listingError = false;
    for (;;) {
        errno = 0;
        const dirent* ent = ::readdir(dir);
        if (!ent) {
            listingError = errno != 0;
            break;
        }
        const std::string_view name(ent->d_name);
        if (!hasJsonExtension(name))
            continue;
        std::string_view content;
        if (!readStateFile(dirFd, *ent, m_readBuffer, content))
            continue;
        const std::optional<StateRecord> record = StateRecord::decode(content, &m_strings);
        if (!record)
            continue;
        const double age = now - record->ts;
        if (age > kPruneAfter) {
            ::unlinkat(dirFd, ent->d_name, 0); // a failure is retried on the next pass
            continue;
        }
        const AgentState resolved = resolve(*record, age);
        QString ws = record->workspaceKey();
        QString wsKey = canonical(ws);
        if (const auto slot = workspaceIndex.constFind(wsKey); slot != workspaceIndex.cend()) {
            WorkspaceEntry& entry = workspaces[*slot].entry;
            entry = mergeWorkspace(entry, resolved, record->ts);
        } else {
            workspaceIndex.insert(std::move(wsKey), workspaces.size());
            workspaces.push_back({ws, {resolved, record->ts}});
        }
        QString conv = record->conversationId && !record->conversationId->isEmpty()
                           ? *record->conversationId
                           : fileBaseName(name, m_strings);
        tabEntries.push_back({std::move(conv), std::move(ws), resolved, record->ts});
    }
    ::closedir(dir);
    if (listingError) {
        listingFailed();
        return;
    }

    applyTabs(buildTabs(tabEntries, now));

    WindowStatusList rows;
    rows.reserve(qsizetype(workspaces.size()));
    for (const Workspace& w : workspaces) {
        if (now - w.entry.ts <= kDisplayWindow)
            rows.append({w.key, windowName(w.key), w.entry.state, w.entry.ts});
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
