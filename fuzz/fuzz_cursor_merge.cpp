// Cursor's hooks.json, merged from any bytes: see checkMerge.
#include "MergeChecks.h"
#include "hooks/HookInstaller.h"

using namespace korvane;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const json command = std::string(HookInstaller::kCursorCommand);
    fuzz::checkMerge(
        data, size, HookInstaller::kHookedEvents, json{{"version", 1}}, json{{"command", command}},
        [&](const json& entry) { return entry.value("command", json()) == command; },
        [](json& config) { return HookInstaller::mergeCursorHooks(config); });
    return 0;
}
