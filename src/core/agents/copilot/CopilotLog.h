#pragma once

#include "agents/SessionLog.h"

namespace korvane {

// GitHub Copilot CLI runs no hook when the user answers an approval (the light
// would stay red until the tool ends) nor when Ctrl+C ends a turn. Its session's
// events.jsonl records both; they count when they come after the record.
class CopilotLog final : public LogReader {
public:
    CopilotLog() : LogReader(&lastEvent) {}
    bool review(StateRecord& record) override;

    // The event's ISO time stands as its turn: the log's turn ids start again at 0.
    static std::optional<SessionLog::Event> lastEvent(std::string_view tail, bool cut);
};

} // namespace korvane
