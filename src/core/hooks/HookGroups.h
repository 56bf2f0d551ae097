#pragma once

#include <QString>
#include <nlohmann/json.hpp>
#include <span>
#include <string_view>

namespace korvane {

// The hook configuration shape that Claude Code set and Codex CLI and Gemini CLI
// follow: {"hooks": {"<Event>": [{"matcher": ..., "hooks": [{"type": "command",
// "command": ...}]}]}}. Merges one handler into each event of a JSON file.
class HookGroups {
public:
    HookGroups() = delete;

    // Adds a group holding `handler` to every event whose groups do not run its
    // command yet; everything else stays as it was.
    static void merge(nlohmann::json& root, std::span<const std::string_view> events,
                      const nlohmann::json& handler);

    // merge() on the file at `path`, written atomically when it changes. A file that is not a JSON
    // object is kept aside first; with `comments` a file that is one once its
    // comments are skipped keeps its members (the comments stay in the copy).
    static bool mergeFile(const QString& path, std::span<const std::string_view> events,
                          const nlohmann::json& handler, bool comments, QString* error);
};

} // namespace korvane
