#pragma once

#include "agents/Agent.h"

namespace korvane {

// pi: runs no commands at its events; it loads Korvane's extension (korvane.js), which writes the
// records itself. It asks for no approvals, so it never waits.
class PiAgent final : public Agent {
public:
    QString id() const override { return QStringLiteral("pi"); }
    QString displayName() const override { return QStringLiteral("pi"); }
    QString folder() const override { return QStringLiteral(".pi/agent"); }
    QString configFile() const override { return QStringLiteral(".pi/agent/extensions/korvane.js"); }
    HookLayout layout() const override { return {}; }
    QString plugin() const override { return QStringLiteral(":/agents/pi/korvane.js"); }
    QString pickUp() const override { return QStringLiteral("pi takes its extension up with /reload"); }
};

} // namespace korvane
