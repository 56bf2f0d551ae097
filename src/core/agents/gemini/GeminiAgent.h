#pragma once

#include "agents/Agent.h"

namespace korvane {

// Gemini CLI: hook groups in ~/.gemini/settings.json, which it reads with
// comments allowed; its chat log (GeminiLog) tells a cancelled turn from a
// failed one, which its hooks report alike.
class GeminiAgent final : public Agent {
public:
    QString id() const override { return QStringLiteral("gemini"); }
    QString displayName() const override { return QStringLiteral("Gemini CLI"); }
    QString folder() const override { return QStringLiteral(".gemini"); }
    QString configFile() const override { return QStringLiteral(".gemini/settings.json"); }
    HookLayout layout() const override;
    std::unique_ptr<SessionReader> makeReader() const override;
};

} // namespace korvane
