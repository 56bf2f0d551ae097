// Cursor's hooks.json, merged from any bytes: see checkMerge.
#include "MergeChecks.h"
#include "agents/AgentList.h"

using namespace korvane;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Agent& agent = *AgentList::find(u"cursor");
    const std::vector<std::string> older = agent.olderCommands({});
    const HookMerge::Entry entry{agent.command({}), older};
    const json command = entry.command;
    fuzz::checkMerge(
        data, size, agent.events(), json{{"version", 1}}, json{{"command", command}}, older,
        [](json& entries, const auto& visit) { std::for_each(entries.begin(), entries.end(), visit); },
        [&](const json& e) { return e.value("command", json()) == command; },
        [&](json& config) { return HookMerge::merge(config, agent.events(), agent.layout(), entry); });
    return 0;
}
