#pragma once

#include "agents/Agent.h"

#include <QByteArray>

namespace korvane {

// Codex CLI: hook groups in ~/.codex/hooks.json, and its hooks switch in
// ~/.codex/config.toml on. Codex runs a new or changed hook only after the user
// trusts it in its /hooks screen, so an entry of an earlier version stays as it
// is. A failed turn runs no hook; its session log tells (CodexLog).
class CodexAgent final : public Agent {
public:
    QString id() const override { return QStringLiteral("codex"); }
    QString displayName() const override { return QStringLiteral("Codex CLI"); }
    QString nextStep() const override
    {
        return QStringLiteral("Codex CLI runs them once you trust them in its /hooks screen.");
    }
    QString folder() const override { return QStringLiteral(".codex"); }
    QString configFile() const override { return QStringLiteral(".codex/hooks.json"); }
    HookLayout layout() const override;
    bool finishInstall(QString* error) const override;
    std::unique_ptr<SessionReader> makeReader() const override;

    static QString configTomlPath(); // ~/.codex/config.toml

    enum class Switch {
        Added, // `hooks = true` written into [features]
        On,    // already on, or left to the default (which is on)
        Off,   // the user turned hooks off: left so
    };
    // The switch in the text of config.toml, changed line by line so that the
    // user's comments, order and spelling stay.
    static Switch enableHooks(QByteArray& toml);

private:
    static Switch addSwitch(QByteArray& toml);
};

} // namespace korvane
