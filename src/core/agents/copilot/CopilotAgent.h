#pragma once

#include "agents/Agent.h"

namespace korvane {

// GitHub Copilot CLI: reads every file in ~/.copilot/hooks, so Korvane keeps its
// entries in a file of its own there. An approval and an interrupt run no hook;
// its session's event log tells (CopilotLog).
class CopilotAgent final : public Agent {
public:
    QString id() const override { return QStringLiteral("copilot"); }
    QString displayName() const override { return QStringLiteral("GitHub Copilot CLI"); }
    QString folder() const override { return QStringLiteral(".copilot"); }
    QString configFile() const override { return QStringLiteral(".copilot/hooks/korvane.json"); }
    HookLayout layout() const override;
    std::unique_ptr<SessionReader> makeReader() const override;
};

} // namespace korvane
