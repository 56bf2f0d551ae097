#include "agents/copilot/CopilotAgent.h"

#include "agents/copilot/CopilotLog.h"

namespace korvane {

HookLayout CopilotAgent::layout() const
{
    // Event keys in PascalCase get payloads that name their event; the default
    // timeout of 30 s would hold a turn up that long if the script ever hung.
    return {HookLayout::Shape::Entries, {{"version", 1}}, {{"type", "command"}, {"timeoutSec", 5}}};
}

std::unique_ptr<SessionReader> CopilotAgent::makeReader() const
{
    return std::make_unique<CopilotLog>();
}

} // namespace korvane
