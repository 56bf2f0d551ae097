#pragma once

#include "agents/Agent.h"

namespace korvane {

// Qwen Code: hook groups in ~/.qwen/settings.json, with Claude Code's event
// names; it reads the file with comments allowed.
class QwenCodeAgent final : public Agent {
public:
    QString id() const override { return QStringLiteral("qwen-code"); }
    QString displayName() const override { return QStringLiteral("Qwen Code"); }
    QString folder() const override { return QStringLiteral(".qwen"); }
    QString configFile() const override { return QStringLiteral(".qwen/settings.json"); }
    HookLayout layout() const override
    {
        HookLayout layout;
        layout.comments = true;
        return layout;
    }
};

} // namespace korvane
