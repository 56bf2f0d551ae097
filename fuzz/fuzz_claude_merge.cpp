// Claude Code's settings.json, merged from any bytes: see checkMerge.
#include "MergeChecks.h"
#include "agents/AgentList.h"

using namespace korvane;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Agent& agent = *AgentList::find(u"claude-code");
    const QString script = QStringLiteral("/home/user/.cursor/hooks/signalwick.sh");
    const std::vector<std::string> older = agent.olderCommands(script);
    const HookMerge::Entry entry{agent.command(script), older};
    const json command = entry.command;
    const auto runsIt = [&](const json& group) {
        const json entries = group.value("hooks", json());
        const auto isObject = [](const json& e) { return e.is_object(); };
        return entries.is_array() && std::all_of(entries.begin(), entries.end(), isObject) &&
               std::any_of(entries.begin(), entries.end(),
                           [&](const json& e) { return e.value("command", json()) == command; });
    };
    const auto inGroups = [&](json& groups, const auto& visit) {
        for (json& group : groups) {
            json* entries = group.contains("hooks") ? &group["hooks"] : nullptr;
            if (entries && entries->is_array() &&
                std::all_of(entries->begin(), entries->end(), [](const json& e) { return e.is_object(); }))
                std::for_each(entries->begin(), entries->end(), visit);
        }
    };
    fuzz::checkMerge(
        data, size, agent.events(), json::object(),
        json{{"hooks", {{{"type", "command"}, {"command", command}}}}}, older, inGroups, runsIt,
        [&](json& settings) { return HookMerge::merge(settings, agent.events(), agent.layout(), entry); },
        agent.layout().eventEntry);
    return 0;
}
