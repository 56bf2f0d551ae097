// One state file's bytes: decoding, the key rules and the resolution by age.
#include "FuzzSupport.h"
#include "status/StateRecord.h"
#include "status/StatusStore.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <string_view>

using namespace korvane;

namespace {

bool known(const QString& s)
{
    return s == u"working" || s == u"pending" || s == u"waiting" || s == u"error" || s == u"idle";
}

void checkResolution(const StateRecord& record)
{
    static constexpr double ages[] = {-1e12, -1, 0, 5.999, 6, 6.001, 899.5, 900, 900.001, 7200, 86400, 1e15};
    for (const double age : ages) {
        const AgentState s = StatusStore::resolve(record, age);
        if (!known(record.state))
            FUZZ_CHECK(s == AgentState::Unknown);
        else if (record.state == u"working")
            FUZZ_CHECK(s == (age <= 900 ? AgentState::Working : AgentState::Idle));
        else if (record.state == u"pending")
            FUZZ_CHECK(s == (age <= 6 ? AgentState::Working : AgentState::Waiting));
        else
            FUZZ_CHECK(s != AgentState::Unknown && s != AgentState::Working);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<StateRecord> record = StateRecord::decode(text);
    if (!record)
        return 0;

    FUZZ_CHECK(std::isfinite(record->ts));
    checkResolution(*record);

    // A reader that catches the writer half-way must see garbage, never a
    // different record: every prefix that cuts off the closing brace fails.
    // (The parser stops at a NUL byte, so the document ends there.)
    const std::string_view document = text.substr(0, text.find('\0'));
    const std::size_t close = document.rfind('}');
    FUZZ_CHECK(close != std::string_view::npos);
    FUZZ_CHECK(!StateRecord::decode(document.substr(0, close)));
    FUZZ_CHECK(!StateRecord::decode(document.substr(0, close / 2)));

    // The decoded fields written back decode to the same record.
    nlohmann::json again = {{"state", record->state.toStdString()}, {"ts", record->ts}};
    if (record->workspace)
        again["workspace"] = record->workspace->toStdString();
    if (record->conversationId)
        again["conversation_id"] = record->conversationId->toStdString();
    const auto round =
        StateRecord::decode(again.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict));
    FUZZ_CHECK(round);
    FUZZ_CHECK(round->state == record->state && round->ts == record->ts);
    FUZZ_CHECK(round->workspace == record->workspace && round->conversationId == record->conversationId);

    // Key rules and the names shown for them.
    const QString ws = record->workspaceKey();
    FUZZ_CHECK(ws.isEmpty() == (!record->workspace || record->workspace->isEmpty()));
    const QString name = StatusStore::windowName(ws);
    FUZZ_CHECK(!name.isEmpty());
    FUZZ_CHECK(name == u"/" || !name.contains(u'/'));
    const QString conv = record->conversationKey(QStringLiteral("file-base"));
    FUZZ_CHECK(!conv.isEmpty());

    // A lone tab carries the bare window name.
    const WindowStatusList tabs =
        StatusStore::buildTabs({{conv, ws, StatusStore::resolve(*record, 0), record->ts}}, record->ts);
    FUZZ_CHECK(tabs.size() == 1 && tabs.front().id == conv && tabs.front().name == name);
    return 0;
}
