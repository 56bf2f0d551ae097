#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <string_view>

namespace korvane {

// Connects the Codex CLI: an entry running the hook script for each event in
// ~/.codex/hooks.json, and its hooks switch in ~/.codex/config.toml on. Codex
// runs a new or changed hook only after the user trusts it in its /hooks screen.
class CodexConfig {
public:
    CodexConfig() = delete;

    static constexpr std::array<std::string_view, 8> kEvents = {
        "SessionStart", "UserPromptSubmit", "PreToolUse", "PermissionRequest", "PostToolUse",
        "Stop",         "Interrupt",        "SessionEnd"};

    static bool available();     // ~/.codex exists (of any kind)
    static QString hooksPath();  // ~/.codex/hooks.json
    static QString configPath(); // ~/.codex/config.toml

    // Both files; false with *error when one could not be written.
    static bool install(const QString& script, QString* error);

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
