#include "agents/gemini/GeminiAgent.h"

#include "agents/gemini/GeminiLog.h"

namespace korvane {

HookLayout GeminiAgent::layout() const
{
    // The name the client shows while the hook runs.
    HookLayout layout;
    layout.entry = {{"type", "command"}, {"name", "korvane"}};
    layout.comments = true;
    return layout;
}

std::unique_ptr<SessionReader> GeminiAgent::makeReader() const
{
    return std::make_unique<GeminiLog>();
}

} // namespace korvane
