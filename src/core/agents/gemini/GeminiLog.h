#pragma once

#include "agents/SessionLog.h"

namespace korvane {

// Gemini CLI ends a failed turn and one cancelled with Esc alike; its chat log
// (the hooks name it) tells them apart. A turn taken for failed that the log
// shows cancelled is idle.
class GeminiLog final : public LogReader {
public:
    GeminiLog() : LogReader(&lastEvent) {}
    bool review(StateRecord& record) override;

    static std::optional<SessionLog::Event> lastEvent(std::string_view tail, bool cut);
};

} // namespace korvane
