#pragma once

#include "agents/SessionLog.h"
#include "agents/SessionReader.h"

namespace korvane {

// Gemini CLI ends a failed turn and one cancelled with Esc alike; its chat log
// (the hooks name it) tells them apart. A turn taken for failed that the log
// shows cancelled is idle.
class GeminiLog final : public SessionReader {
public:
    bool review(StateRecord& record) override;
    void sweep() override { m_log.sweep(); }

    static std::optional<SessionLog::Event> lastEvent(std::string_view tail, bool cut);

private:
    SessionLog m_log{&lastEvent};
};

} // namespace korvane
