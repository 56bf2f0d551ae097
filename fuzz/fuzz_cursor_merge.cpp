// Cursor's hooks.json, merged: every value the user had stays, each watched
// event runs the script once more at most, and the written file parses again
// and is left alone by a second merge.
#include "MergeChecks.h"
#include "hooks/HookInstaller.h"

using namespace korvane;
using namespace korvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const json input = json::parse(data, data + size, nullptr, false);
    json merged = input;
    HookInstaller::mergeCursorHooks(merged);
    FUZZ_CHECK(merged.is_object());
    checkWrittenForm(merged);

    const bool wasObject = !input.is_discarded() && input.is_object();
    const json before = wasObject ? input : json::object();
    const std::string command(HookInstaller::kCursorCommand);
    json entry = json::object();
    entry["command"] = command;

    // Top level: "version" kept (1 when absent), "hooks" merged, the rest as it was.
    FUZZ_CHECK(merged.size() == before.size() + !before.contains("version") + !before.contains("hooks"));
    for (const auto& [key, value] : before.items()) {
        if (key != "hooks")
            FUZZ_CHECK(merged.at(key) == value);
    }
    if (!before.contains("version"))
        FUZZ_CHECK(merged.at("version") == 1);

    const json oldHooks =
        before.contains("hooks") && before.at("hooks").is_object() ? before.at("hooks") : json::object();
    const json& hooks = merged.at("hooks");
    FUZZ_CHECK(hooks.is_object());
    for (const auto& [key, value] : oldHooks.items()) {
        const bool watched =
            std::find(HookInstaller::kHookedEvents.begin(), HookInstaller::kHookedEvents.end(), key) !=
            HookInstaller::kHookedEvents.end();
        if (!watched)
            FUZZ_CHECK(hooks.at(key) == value);
    }
    for (const std::string_view name : HookInstaller::kHookedEvents) {
        const std::string event(name);
        const json& after = hooks.at(event);
        const json old = oldHooks.contains(event) ? oldHooks.at(event) : json();
        const int added = appendedTo(old, after);
        const bool hadIt = isArrayOfObjects(old) && std::any_of(old.begin(), old.end(), [&](const json& e) {
                               return runsCommand(e, command);
                           });
        if (added == -1)
            FUZZ_CHECK(after.size() == 1 && after[0] == entry);
        else
            FUZZ_CHECK(added == (hadIt ? 0 : 1));
        if (added == 1)
            FUZZ_CHECK(after.back() == entry);
    }

    json twice = merged;
    HookInstaller::mergeCursorHooks(twice);
    FUZZ_CHECK(twice == merged);
    return 0;
}
