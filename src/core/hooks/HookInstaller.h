#pragma once

#include <QString>
#include <array>
#include <nlohmann/json.hpp>
#include <string_view>

namespace korvane {

// Connects Cursor and Claude Code to Korvane: deploys the hook script to
// ~/.cursor/hooks/signalwick.sh and merges entries that run it into
// ~/.cursor/hooks.json and, when Claude Code is present, ~/.claude/settings.json.
// No state: every call works on the files under QDir::homePath() afresh.
class HookInstaller {
public:
    HookInstaller() = delete;

    // The Cursor events whose arrays get the entry, in the order they are merged.
    static constexpr std::array<std::string_view, 11> kHookedEvents = {"beforeSubmitPrompt",
                                                                       "beforeShellExecution",
                                                                       "beforeMCPExecution",
                                                                       "postToolUse",
                                                                       "afterFileEdit",
                                                                       "afterShellExecution",
                                                                       "afterMCPExecution",
                                                                       "afterAgentResponse",
                                                                       "sessionStart",
                                                                       "sessionEnd",
                                                                       "stop"};
    static constexpr std::array<std::string_view, 10> kClaudeEvents = {
        "UserPromptSubmit", "PreToolUse",   "PostToolUse", "Notification",      "Stop",
        "StopFailure",      "SessionStart", "SessionEnd",  "PermissionRequest", "PostToolUseFailure"};
    // Relative to ~/.cursor, the folder of hooks.json.
    static constexpr std::string_view kCursorCommand = "./hooks/signalwick.sh";
    static constexpr const char* kScriptResource = ":/hooks/signalwick.sh";

    // Deploys the script (mode 0755) and merges both configurations. False when
    // a step failed; that is logged, except a missing script resource. Steps
    // already done stay done.
    static bool install();
    // The script is deployed and every Cursor event carries the entry.
    static bool isInstalled();
    // ~/.claude exists (of any kind).
    static bool claudeAvailable();

    static QString scriptPath();         // ~/.cursor/hooks/signalwick.sh
    static QString cursorConfigPath();   // ~/.cursor/hooks.json
    static QString claudeSettingsPath(); // ~/.claude/settings.json

    // The file steps of install(). False with *error when the file could not be
    // written (or a damaged file could not be kept aside first). A file whose
    // bytes would not change is not written.
    static bool mergeHooksJSON(QString* error);
    static bool mergeClaudeSettings(QString* error);

    // Claude Code runs a hook's command with /bin/sh -c: the script's path as it
    // is, or single-quoted when the shell would split or expand it.
    static std::string claudeCommand(const std::string& scriptPath);

    // The merges themselves: only missing entries are added, nothing else changes,
    // except that a value of the wrong shape where an entry belongs is replaced;
    // true when that happened. A Claude Code entry with the unquoted path of a
    // script that needs quoting counts as ours, and gets the quotes.
    static bool mergeCursorHooks(nlohmann::json& config);
    static bool mergeClaudeHooks(nlohmann::json& settings, const std::string& scriptPath);
};

} // namespace korvane
