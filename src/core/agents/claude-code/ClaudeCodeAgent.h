#pragma once

#include "agents/Agent.h"

namespace korvane {

// Claude Code: hook groups in ~/.claude/settings.json, run with /bin/sh -c;
// its own list of running sessions (SessionRegistry) follows what no hook
// reports and tells when a session's process is gone.
class ClaudeCodeAgent final : public Agent {
public:
    QString id() const override { return QStringLiteral("claude-code"); }
    QString displayName() const override { return QStringLiteral("Claude Code"); }
    QString folder() const override { return QStringLiteral(".claude"); }
    QString configFile() const override { return QStringLiteral(".claude/settings.json"); }
    HookLayout layout() const override;
    std::unique_ptr<SessionReader> makeReader() const override;
};

} // namespace korvane
