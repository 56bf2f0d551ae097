// Claude Code's settings.json, merged: every setting stays, each watched event
// gains one group that runs the script unless one already does, and the written
// file parses again and is left alone by a second merge.
#include "MergeChecks.h"
#include "hooks/HookInstaller.h"

using namespace korvane;
using namespace korvane::fuzz;

namespace {

const std::string kCommand = "/home/user name/.cursor/hooks/signalwick.sh";

bool groupRuns(const json& group)
{
    const auto it = group.find("hooks");
    return it != group.end() && isArrayOfObjects(*it) &&
           std::any_of(it->begin(), it->end(), [](const json& e) { return runsCommand(e, kCommand); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const json input = json::parse(data, data + size, nullptr, false);
    json merged = input;
    HookInstaller::mergeClaudeHooks(merged, kCommand);
    FUZZ_CHECK(merged.is_object());
    checkWrittenForm(merged);

    const json before = !input.is_discarded() && input.is_object() ? input : json::object();
    // Only "hooks" changes; no "version" is added.
    FUZZ_CHECK(merged.size() == before.size() + !before.contains("hooks"));
    for (const auto& [key, value] : before.items()) {
        if (key != "hooks")
            FUZZ_CHECK(merged.at(key) == value);
    }

    const json oldHooks =
        before.contains("hooks") && before.at("hooks").is_object() ? before.at("hooks") : json::object();
    const json& hooks = merged.at("hooks");
    for (const auto& [key, value] : oldHooks.items()) {
        const bool watched =
            std::find(HookInstaller::kClaudeEvents.begin(), HookInstaller::kClaudeEvents.end(), key) !=
            HookInstaller::kClaudeEvents.end();
        if (!watched)
            FUZZ_CHECK(hooks.at(key) == value);
    }
    json entry = json::object();
    entry["type"] = "command";
    entry["command"] = kCommand;
    json group = json::object();
    group["hooks"] = json::array();
    group["hooks"].push_back(entry);
    for (const std::string_view name : HookInstaller::kClaudeEvents) {
        const std::string event(name);
        const json& after = hooks.at(event);
        const json old = oldHooks.contains(event) ? oldHooks.at(event) : json();
        const int added = appendedTo(old, after);
        const bool hadIt = isArrayOfObjects(old) && std::any_of(old.begin(), old.end(), groupRuns);
        if (added == -1)
            FUZZ_CHECK(after.size() == 1 && after[0] == group);
        else
            FUZZ_CHECK(added == (hadIt ? 0 : 1));
        if (added == 1)
            FUZZ_CHECK(after.back() == group);
    }

    json twice = merged;
    HookInstaller::mergeClaudeHooks(twice, kCommand);
    FUZZ_CHECK(twice == merged);
    return 0;
}
