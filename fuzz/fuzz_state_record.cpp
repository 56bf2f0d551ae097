// One state file's bytes: the decoder never crashes, accepts only finite
// times, refuses every cut-off document, and what it decodes survives a round trip.
#include "FuzzSupport.h"
#include "status/StateRecord.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <string_view>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<StateRecord> record = StateRecord::decode(text);
    if (!record)
        return 0;
    FUZZ_CHECK(std::isfinite(record->ts));
    // A reader that catches the writer half-way sees garbage, never a record.
    const std::size_t close = text.rfind('}');
    FUZZ_CHECK(close != std::string_view::npos);
    FUZZ_CHECK(!StateRecord::decode(text.substr(0, close)));
    FUZZ_CHECK(!StateRecord::decode(text.substr(0, close / 2)));

    nlohmann::json again = {{"state", record->state.toStdString()}, {"ts", record->ts}};
    if (record->workspace)
        again["workspace"] = record->workspace->toStdString();
    if (record->conversationId)
        again["conversation_id"] = record->conversationId->toStdString();
    const auto round = StateRecord::decode(again.dump());
    FUZZ_CHECK(round && round->state == record->state && round->ts == record->ts);
    FUZZ_CHECK(round->workspace == record->workspace && round->conversationId == record->conversationId);
    return 0;
}
