// The end of a Codex session log: never a crash, and a turn's end is only ever
// read from whole lines, so that one more byte at the end changes nothing.
#include "FuzzSupport.h"
#include "status/CodexRollout.h"

#include <string_view>

using namespace korvane;

namespace {
bool same(const std::optional<CodexRollout::Event>& a, const std::optional<CodexRollout::Event>& b)
{
    return a.has_value() == b.has_value() && (!a || (a->turn == b->turn && a->end == b->end));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view tail(reinterpret_cast<const char*>(data), size);
    if (size > 0 && tail.back() != '\n')
        FUZZ_CHECK(same(CodexRollout::lastEvent(tail, false),
                        CodexRollout::lastEvent(tail.substr(0, size - 1), false)));
    // A cut first line is never read.
    const std::size_t first = tail.find('\n');
    FUZZ_CHECK(same(CodexRollout::lastEvent(tail, true),
                    first == std::string_view::npos
                        ? std::nullopt
                        : CodexRollout::lastEvent(tail.substr(first + 1), false)));
    return 0;
}
