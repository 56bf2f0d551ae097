#pragma once

#include <QString>
#include <array>
#include <string_view>

namespace korvane {

// Connects the Gemini CLI: an entry running the hook script for each event in
// ~/.gemini/settings.json.
class GeminiConfig {
public:
    GeminiConfig() = delete;

    // Not BeforeModel, AfterModel or BeforeToolSelection: they fire for every
    // request or streamed chunk and say nothing the others do not.
    static constexpr std::array<std::string_view, 7> kEvents = {
        "SessionStart", "BeforeAgent", "BeforeTool", "AfterTool", "Notification", "AfterAgent", "SessionEnd"};
    // The name the client shows while the hook runs.
    static constexpr std::string_view kHookName = "korvane";

    static bool available();       // ~/.gemini exists (of any kind)
    static QString settingsPath(); // ~/.gemini/settings.json

    // False with *error when the file could not be written.
    static bool install(const QString& script, QString* error);
};

} // namespace korvane
