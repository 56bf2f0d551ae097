#include "agents/AgentList.h"

#include "agents/claude-code/ClaudeCodeAgent.h"
#include "agents/codex/CodexAgent.h"
#include "agents/copilot/CopilotAgent.h"
#include "agents/cursor/CursorAgent.h"
#include "agents/gemini/GeminiAgent.h"
#include "agents/opencode/OpenCodeAgent.h"
#include "agents/pi/PiAgent.h"
#include "agents/qwen-code/QwenCodeAgent.h"

namespace korvane {

const std::vector<const Agent*>& AgentList::all()
{
    static const CursorAgent cursor;
    static const ClaudeCodeAgent claudeCode;
    static const CodexAgent codex;
    static const GeminiAgent gemini;
    static const CopilotAgent copilot;
    static const QwenCodeAgent qwenCode;
    static const OpenCodeAgent openCode;
    static const PiAgent pi;
    static const std::vector<const Agent*> agents = {&cursor,  &claudeCode, &codex,    &gemini,
                                                     &copilot, &qwenCode,   &openCode, &pi};
    return agents;
}

const Agent* AgentList::find(QStringView id)
{
    for (const Agent* agent : all()) {
        if (agent->id() == id)
            return agent;
    }
    return nullptr;
}

QString AgentList::nameSuffix(QStringView id)
{
    const Agent* agent = id.isEmpty() ? nullptr : find(id);
    return agent ? QStringLiteral(" (%1)").arg(agent->displayName()) : QString();
}

} // namespace korvane
