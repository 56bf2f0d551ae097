// Claude Code's settings.json, merged from any bytes: see checkMerge.
#include "MergeChecks.h"
#include "hooks/HookInstaller.h"

using namespace korvane;
using namespace korvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const json command = "/home/user name/.cursor/hooks/signalwick.sh";
    const json group = {{"hooks", json::array({{{"type", "command"}, {"command", command}}})}};
    const auto runsIt = [&](const json& group) {
        const auto it = group.find("hooks");
        return it != group.end() && isArrayOfObjects(*it) &&
               std::any_of(it->begin(), it->end(),
                           [&](const json& e) { return e.value("command", json()) == command; });
    };
    checkMerge(data, size, HookInstaller::kClaudeEvents, json::object(), group, runsIt,
               [&](json& settings) { HookInstaller::mergeClaudeHooks(settings, command); });
    return 0;
}
