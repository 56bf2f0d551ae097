#pragma once

#include "agents/Agent.h"

namespace korvane {

// OpenCode: runs no commands at its events but loads every plugin in
// ~/.config/opencode/plugin at start, so Korvane keeps a plugin of its own there
// (korvane.js in this folder), which writes the state records itself.
class OpenCodeAgent final : public Agent {
public:
    QString id() const override { return QStringLiteral("opencode"); }
    QString displayName() const override { return QStringLiteral("OpenCode"); }
    QString folder() const override { return QStringLiteral(".config/opencode"); }
    QString configFile() const override { return QStringLiteral(".config/opencode/plugin/korvane.js"); }
    HookLayout layout() const override { return {}; }
    QString plugin() const override { return QStringLiteral(":/agents/opencode/korvane.js"); }
};

} // namespace korvane
