#include "agents/claude-code/ClaudeCodeAgent.h"

#include "agents/claude-code/SessionRegistry.h"

#include <QDir>

namespace korvane {

HookLayout ClaudeCodeAgent::layout() const
{
    HookLayout layout;
    // The script waits up to 300 s for an answer from the desktop while the
    // prompt stays usable in the terminal; the client must not end it sooner.
    layout.eventEntry = {{"PermissionRequest", {{"timeout", 330}}}};
    // Without it the session list (or the prompt's Notification, ~6 s later) still turns the light red.
    layout.answerEvents = {"PermissionRequest"};
    return layout;
}

std::unique_ptr<SessionReader> ClaudeCodeAgent::makeReader() const
{
    return std::make_unique<SessionRegistry>(QDir::homePath() + QStringLiteral("/.claude/sessions"));
}

} // namespace korvane
