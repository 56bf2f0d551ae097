// The end of a Codex or Gemini session log: never a crash, and what a log says
// is only ever read from whole lines, so that one more byte at the end, or a cut
// first line, changes nothing.
#include "FuzzSupport.h"
#include "agents/codex/CodexLog.h"
#include "agents/gemini/GeminiLog.h"

#include <string_view>

using namespace korvane;

namespace {

bool same(const std::optional<SessionLog::Event>& a, const std::optional<SessionLog::Event>& b)
{
    return a.has_value() == b.has_value() && (!a || (a->turn == b->turn && a->end == b->end));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view tail(reinterpret_cast<const char*>(data), size);
    const std::size_t first = tail.find('\n');
    for (const auto last : {&CodexLog::lastEvent, &GeminiLog::lastEvent}) {
        if (size > 0 && tail.back() != '\n')
            FUZZ_CHECK(same(last(tail, false), last(tail.substr(0, size - 1), false)));
        FUZZ_CHECK(same(last(tail, true), first == std::string_view::npos
                                              ? std::nullopt
                                              : last(tail.substr(first + 1), false)));
    }
    return 0;
}
