#pragma once

#include "agents/SessionLog.h"
#include "agents/SessionReader.h"

namespace korvane {

// Codex CLI runs no hook when a turn fails; its log (the "rollout" file the
// hooks name) records each turn's start and end, a failed end with its error.
// A working turn whose end the log shows takes that end.
class CodexLog final : public SessionReader {
public:
    bool review(StateRecord& record) override;
    void sweep() override { m_log.sweep(); }

    static std::optional<SessionLog::Event> lastEvent(std::string_view tail, bool cut);

private:
    SessionLog m_log{&lastEvent};
};

} // namespace korvane
