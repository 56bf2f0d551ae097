#pragma once

#include "agents/Agent.h"

namespace korvane {

// Cursor's agent: entries in ~/.cursor/hooks.json, whose commands run from
// ~/.cursor. Korvane's own files live under ~/.cursor, so it is always served.
// The script answers each event with the JSON Cursor expects (its hook.awk).
class CursorAgent final : public Agent {
public:
    QString id() const override { return QStringLiteral("cursor"); }
    QString displayName() const override { return QStringLiteral("Cursor"); }
    QString pickUp() const override { return QStringLiteral("Cursor reloads hooks on save"); }
    QString folder() const override { return QStringLiteral(".cursor"); }
    QString configFile() const override { return QStringLiteral(".cursor/hooks.json"); }
    HookLayout layout() const override;
    bool available() const override { return true; }
    std::string command(const QString& script) const override;
    std::vector<std::string> olderCommands(const QString& script) const override;
};

} // namespace korvane
