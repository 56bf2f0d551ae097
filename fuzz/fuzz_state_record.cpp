// One state file's bytes: the decoder never crashes, accepts only finite
// times, and refuses every cut-off document.
#include "FuzzSupport.h"
#include "status/StateRecord.h"

#include <cmath>
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
    FUZZ_CHECK(!StateRecord::decode(text.substr(0, close)));
    FUZZ_CHECK(!StateRecord::decode(text.substr(0, close / 2)));
    return 0;
}
