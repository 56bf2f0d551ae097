#include "agents/claude-code/ClaudeCodeAgent.h"

#include "agents/claude-code/SessionRegistry.h"

#include <QDir>

namespace korvane {

std::unique_ptr<SessionReader> ClaudeCodeAgent::makeReader() const
{
    return std::make_unique<SessionRegistry>(QDir::homePath() + QStringLiteral("/.claude/sessions"));
}

} // namespace korvane
