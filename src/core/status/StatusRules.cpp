#include "status/StatusRules.h"

#include <QHash>
#include <algorithm>
#include <charconv>
#include <string_view>

namespace korvane {

namespace {

struct TabEntry {
    QString conv;
    QString ws;
    AgentState state;
    double ts;
    QString agent;
};

struct WorkspaceEntry {
    AgentState state;
    double ts;
    QString agent;
    bool needsYou;
};

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
    if (isNfcByRange(s))
        return {s, true};
    QString nfc = s.normalized(QString::NormalizationForm_C);
    const std::u16string_view units(reinterpret_cast<const char16_t*>(nfc.utf16()), std::size_t(nfc.size()));
    const bool plain =
        std::none_of(units.begin(), units.end(), [](char16_t c) { return c >= 0xD800 && c < 0xE000; });
    return {std::move(nfc), plain};
}

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

// A window is working if any record is, else waiting if any is, else what its
// newest record says (the first one listed on a tie); its time is the newest,
// its agent the newest among those of its state.
WorkspaceEntry mergeWorkspace(const WorkspaceEntry& existing, AgentState state, double ts,
                              const QString& agent)
{
    AgentState merged;
    if (existing.state == AgentState::Working || state == AgentState::Working)
        merged = AgentState::Working;
    else if (existing.state == AgentState::Waiting || state == AgentState::Waiting)
        merged = AgentState::Waiting;
    else
        merged = ts > existing.ts ? state : existing.state;
    const bool takesAgent = state == merged && (existing.state != merged || ts > existing.ts);
    return {merged, std::max(existing.ts, ts), takesAgent ? agent : existing.agent,
            existing.needsYou || needsYou(state)};
}

WindowStatusList buildTabs(const std::vector<TabEntry>& entries, double now)
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
        if (now - e.ts > StatusRules::kDisplayWindow)
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
    std::sort(groups.begin(), groups.end(),
              [](const Group& a, const Group& b) { return compareKeys(a.ws, b.ws) < 0; });

    WindowStatusList rows;
    rows.reserve(qsizetype(entries.size()));
    for (Group& g : groups) {
        std::stable_sort(g.tabs.begin(), g.tabs.end(),
                         [](const Tab& a, const Tab& b) { return compareKeys(a.conv, b.conv) < 0; });
        const bool numbered = g.tabs.size() > 1;
        std::size_t number = 0;
        for (const Tab& t : g.tabs) {
            const TabEntry& e = *t.entry;
            const QString name = StatusRules::windowName(e.ws);
            ++number;
            rows.append({e.conv, numbered ? numberedName(name, number) : name, e.state, e.ts, e.agent,
                         needsYou(e.state)});
        }
    }
    return rows;
}

// Working rows first, then the rest by recency; equal rows keep their order.
void sortWindows(WindowStatusList& rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const WindowStatus& a, const WindowStatus& b) {
        const bool aw = a.state == AgentState::Working;
        const bool bw = b.state == AgentState::Working;
        if (aw != bw)
            return aw;
        return a.lastActivity > b.lastActivity;
    });
}

AgentState overallState(const WindowStatusList& sortedRows)
{
    if (sortedRows.isEmpty())
        return AgentState::Unknown;
    bool waiting = false;
    for (const WindowStatus& row : sortedRows) {
        if (row.state == AgentState::Working)
            return AgentState::Working;
        waiting = waiting || row.state == AgentState::Waiting;
    }
    if (waiting)
        return AgentState::Waiting;
    // The newest row; among equal times the first in display order.
    const WindowStatus* newest = &sortedRows.front();
    for (const WindowStatus& row : sortedRows) {
        if (row.lastActivity > newest->lastActivity)
            newest = &row;
    }
    return newest->state;
}

} // namespace

AgentState StatusRules::resolve(const StateRecord& record, double age)
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

QString StatusRules::windowName(const QString& workspaceKey)
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

StatusRules::Result StatusRules::evaluate(const std::vector<Input>& inputs, double now)
{
    // The workspace table, in first-seen order so that ties keep the listing's
    // order, keyed by the canonical spelling of the workspace.
    struct Workspace {
        QString key;
        WorkspaceEntry entry;
    };
    std::vector<Workspace> workspaces;
    QHash<QString, std::size_t> workspaceIndex;
    std::vector<TabEntry> tabs;
    tabs.reserve(inputs.size());
    for (const Input& in : inputs) {
        const StateRecord& record = in.record;
        const AgentState resolved = resolve(record, now - record.ts);
        QString ws = record.workspaceKey();
        QString wsKey = canonical(ws);
        const QString agent = record.agent.value_or(QString());
        if (const auto slot = workspaceIndex.constFind(wsKey); slot != workspaceIndex.cend()) {
            WorkspaceEntry& entry = workspaces[*slot].entry;
            entry = mergeWorkspace(entry, resolved, record.ts, agent);
        } else {
            workspaceIndex.insert(std::move(wsKey), workspaces.size());
            workspaces.push_back({ws, {resolved, record.ts, agent, needsYou(resolved)}});
        }
        tabs.push_back({record.conversationKey(in.fileBaseName), std::move(ws), resolved, record.ts, agent});
    }

    Result result;
    result.tabs = buildTabs(tabs, now);
    result.windows.reserve(qsizetype(workspaces.size()));
    for (const Workspace& w : workspaces) {
        if (now - w.entry.ts <= kDisplayWindow)
            result.windows.append(
                {w.key, windowName(w.key), w.entry.state, w.entry.ts, w.entry.agent, w.entry.needsYou});
    }
    sortWindows(result.windows);
    result.state = overallState(result.windows);
    return result;
}

} // namespace korvane
