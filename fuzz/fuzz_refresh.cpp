// One refresh pass over a directory made from the input. The input is a list of
// entries separated by "\n@@"; each entry is a name line and the file's bytes.
// A name may start with "dir:" (a subdirectory holding the bytes as inner.json),
// "fifo:" (a named pipe), "link:" (a symlink to the previous entry) or "zero:"
// (a symlink to /dev/zero). The pass must publish exactly what the files hold,
// delete only decodable records older than a day, and leave every other byte.
#include "FakeClock.h"
#include "FuzzSupport.h"
#include "status/StateRecord.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace korvane;

namespace {

constexpr double kNow = 1'800'000'000.0;
constexpr std::size_t kMaxEntries = 8;

struct Entry {
    enum Kind { File, Dir, Fifo, Link, Zero } kind = File;
    QString name;
    QByteArray bytes; // what a reader sees through the name
    std::optional<StateRecord> record;
    bool maybeGone = false; // a link whose target may be pruned first
};

bool takesPart(const QString& name)
{
    return name.size() > 5 && name.endsWith(QStringLiteral(".json"));
}

QString cleanName(QByteArray raw, std::size_t index)
{
    raw.replace('/', "").replace('\0', "");
    QString name = QFile::decodeName(raw);
    // Below every file system's limit once invalid bytes became U+FFFD.
    while (QFile::encodeName(name).size() > 200)
        name.chop(1);
    if (name.isEmpty() || name == u"." || name == u"..")
        name = QStringLiteral("f%1.json").arg(index);
    return name;
}

std::vector<Entry> makeEntries(const std::uint8_t* data, std::size_t size, const QString& dir)
{
    std::vector<Entry> entries;
    const std::vector<QByteArray> parts = fuzz::split(data, size, QByteArrayLiteral("\n@@"), kMaxEntries);
    for (const QByteArray& part : parts) {
        const qsizetype nl = part.indexOf('\n');
        QByteArray head = nl < 0 ? part : part.left(nl);
        Entry e;
        e.bytes = nl < 0 ? QByteArray() : part.mid(nl + 1);
        static const std::pair<const char*, Entry::Kind> prefixes[] = {
            {"dir:", Entry::Dir}, {"fifo:", Entry::Fifo}, {"link:", Entry::Link}, {"zero:", Entry::Zero}};
        for (const auto& [prefix, kind] : prefixes) {
            if (head.startsWith(prefix)) {
                e.kind = kind;
                head.remove(0, qsizetype(std::strlen(prefix)));
                break;
            }
        }
        e.name = cleanName(head, entries.size());
        const QString path = dir + u'/' + e.name;
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            continue; // a repeated name: the first entry wins
        const QByteArray native = QFile::encodeName(path);
        switch (e.kind) {
        case Entry::File:
            FUZZ_CHECK(fuzz::writeFile(path, e.bytes));
            break;
        case Entry::Dir:
            FUZZ_CHECK(QDir().mkdir(path) && fuzz::writeFile(path + QStringLiteral("/inner.json"), e.bytes));
            break;
        case Entry::Fifo:
            FUZZ_CHECK(::mkfifo(native.constData(), 0600) == 0);
            break;
        case Entry::Link: {
            if (entries.empty() || entries.back().kind != Entry::File)
                continue;
            FUZZ_CHECK(::symlink(QFile::encodeName(entries.back().name).constData(), native.constData()) ==
                       0);
            e.bytes = entries.back().bytes;
            break;
        }
        case Entry::Zero:
            FUZZ_CHECK(::symlink("/dev/zero", native.constData()) == 0);
            break;
        }
        if ((e.kind == Entry::File || e.kind == Entry::Link) && takesPart(e.name))
            e.record = StateRecord::decode(e.bytes);
        entries.push_back(std::move(e));
    }
    // A link read after its old target was pruned in the same pass finds nothing.
    for (std::size_t i = 1; i < entries.size(); ++i) {
        Entry& e = entries[i];
        if (e.kind == Entry::Link && takesPart(entries[i - 1].name) && entries[i - 1].record &&
            kNow - entries[i - 1].record->ts > StatusStore::kPruneAfter)
            e.maybeGone = true;
    }
    return entries;
}

bool isOld(const Entry& e)
{
    return e.record && kNow - e.record->ts > StatusStore::kPruneAfter;
}

void checkDirectoryKept(const std::vector<Entry>& entries, const QString& dir)
{
    for (const Entry& e : entries) {
        const QString path = dir + u'/' + e.name;
        const bool present = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
        if (isOld(e)) {
            FUZZ_CHECK(!present || e.maybeGone);
            continue;
        }
        FUZZ_CHECK(present);
        if (e.kind == Entry::File) {
            QByteArray now;
            FUZZ_CHECK(fuzz::readFile(path, now) && now == e.bytes);
        } else if (e.kind == Entry::Dir) {
            QByteArray now;
            FUZZ_CHECK(fuzz::readFile(path + QStringLiteral("/inner.json"), now) && now == e.bytes);
        }
    }
}

void checkPublished(const std::vector<Entry>& entries, const StatusStore& store)
{
    // Tabs: exactly one row per live record within the display window.
    struct Tab {
        QString id;
        double ts;
        AgentState state;
        bool operator==(const Tab&) const = default;
        bool operator<(const Tab& o) const { return std::tie(id, ts, state) < std::tie(o.id, o.ts, o.state); }
    };
    std::vector<Tab> expectedTabs;
    struct Window {
        double ts = -1e308;
        bool working = false, waiting = false;
        std::vector<std::pair<double, AgentState>> states;
    };
    std::map<QString, Window> windows;
    for (const Entry& e : entries) {
        if (!e.record || isOld(e))
            continue;
        const double age = kNow - e.record->ts;
        const AgentState s = StatusStore::resolve(*e.record, age);
        const QString base = e.name.left(e.name.size() - 5);
        if (age <= StatusStore::kDisplayWindow)
            expectedTabs.push_back({e.record->conversationKey(base), e.record->ts, s});
        Window& w = windows[e.record->workspaceKey()];
        w.ts = std::max(w.ts, e.record->ts);
        w.working = w.working || s == AgentState::Working;
        w.waiting = w.waiting || s == AgentState::Waiting;
        w.states.emplace_back(e.record->ts, s);
    }
    std::vector<Tab> gotTabs;
    for (const WindowStatus& t : store.tabs())
        gotTabs.push_back({t.id, t.lastActivity, t.state});
    std::sort(expectedTabs.begin(), expectedTabs.end());
    std::sort(gotTabs.begin(), gotTabs.end());
    FUZZ_CHECK(gotTabs == expectedTabs);

    // Windows: one per workspace whose newest record is within the display window.
    std::size_t shown = 0;
    bool anyWorking = false, anyWaiting = false;
    for (const auto& [k, win] : windows) {
        const QString& key = k; // lambdas cannot capture structured bindings in C++20
        const Window& w = win;
        if (kNow - w.ts > StatusStore::kDisplayWindow)
            continue;
        ++shown;
        const auto row = std::find_if(store.windows().begin(), store.windows().end(),
                                      [&](const WindowStatus& r) { return r.id == key; });
        FUZZ_CHECK(row != store.windows().end());
        FUZZ_CHECK(row->lastActivity == w.ts && row->name == StatusStore::windowName(key));
        if (w.working) {
            FUZZ_CHECK(row->state == AgentState::Working);
        } else if (w.waiting) {
            FUZZ_CHECK(row->state == AgentState::Waiting);
        } else {
            // The newest record decides; equal times may go either way.
            FUZZ_CHECK(std::any_of(w.states.begin(), w.states.end(),
                                   [&](const auto& p) { return p.first == w.ts && p.second == row->state; }));
        }
        anyWorking = anyWorking || w.working;
        anyWaiting = anyWaiting || w.waiting;
    }
    FUZZ_CHECK(std::size_t(store.windows().size()) == shown);

    // Working rows first, then by recency.
    const WindowStatusList& rows = store.windows();
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const bool aw = rows[i - 1].state == AgentState::Working, bw = rows[i].state == AgentState::Working;
        FUZZ_CHECK(aw || !bw);
        if (aw == bw)
            FUZZ_CHECK(rows[i - 1].lastActivity >= rows[i].lastActivity);
    }

    if (anyWorking)
        FUZZ_CHECK(store.state() == AgentState::Working);
    else if (anyWaiting)
        FUZZ_CHECK(store.state() == AgentState::Waiting);
    else if (rows.isEmpty())
        FUZZ_CHECK(store.state() == AgentState::Unknown);
    else
        FUZZ_CHECK(std::any_of(rows.begin(), rows.end(), [&](const WindowStatus& r) {
            return r.lastActivity == rows.front().lastActivity && r.state == store.state();
        }));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString home = fuzz::isolatedHome();
    const QString dir = home + QStringLiteral("/.cursor/signalwick/state");
    fuzz::emptyDirectory(dir);
    const std::vector<Entry> entries = makeEntries(data, size, dir);

    test::FakeClock clock(kNow);
    StatusStore store(clock);
    store.refresh();
    checkDirectoryKept(entries, dir);
    checkPublished(entries, store);

    // Nothing changed on disk: a second pass publishes nothing.
    int published = 0;
    QObject::connect(&store, &StatusStore::changed, [&] { ++published; });
    store.refresh();
    FUZZ_CHECK(published == 0);
    return 0;
}
