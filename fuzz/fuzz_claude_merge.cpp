// Claude Code's settings.json, merged from any bytes: see checkMerge.
#include "MergeChecks.h"
#include "hooks/HookInstaller.h"

using namespace korvane;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const json command = "/home/user/.cursor/hooks/signalwick.sh";
    const auto runsIt = [&](const json& group) {
        const json entries = group.value("hooks", json());
        const auto isObject = [](const json& e) { return e.is_object(); };
        return entries.is_array() && std::all_of(entries.begin(), entries.end(), isObject) &&
               std::any_of(entries.begin(), entries.end(),
                           [&](const json& e) { return e.value("command", json()) == command; });
    };
    fuzz::checkMerge(data, size, HookInstaller::kClaudeEvents, json::object(),
                     json{{"hooks", {{{"type", "command"}, {"command", command}}}}}, runsIt,
                     [&](json& settings) { return HookInstaller::mergeClaudeHooks(settings, command); });
    return 0;
}
