#pragma once

#include "agents/SessionLog.h"

namespace korvane {

// Codex CLI runs no hook when a turn fails; its log (the "rollout" file the
// hooks name) records each turn's start and end, a failed end with its error.
// A working turn whose end the log shows takes that end.
class CodexLog final : public LogReader {
public:
    CodexLog() : LogReader(&lastEvent) {}
    bool review(StateRecord& record) override;

    static std::optional<SessionLog::Event> lastEvent(std::string_view tail, bool cut);
};

} // namespace korvane
