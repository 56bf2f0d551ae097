#include "agents/codex/CodexLog.h"

namespace korvane {

namespace {

bool has(std::string_view line, std::string_view what)
{
    return line.find(what) != std::string_view::npos;
}

} // namespace

std::optional<SessionLog::Event> CodexLog::lastEvent(std::string_view tail, bool cut)
{
    using Event = SessionLog::Event;
    const auto wanted = [](std::string_view line) {
        return has(line, "\"event_msg\"") && (has(line, "\"task_") || has(line, "\"turn_aborted\""));
    };
    return SessionLog::fromEnd(
        tail, cut, wanted, [](const nlohmann::json& j) -> std::optional<std::optional<Event>> {
            const auto payload = j.find("payload");
            if (SessionLog::stringOf(j, "type") != "event_msg" || payload == j.end() || !payload->is_object())
                return std::nullopt;
            const std::string type = SessionLog::stringOf(*payload, "type");
            const std::string turn = SessionLog::stringOf(*payload, "turn_id");
            const auto error = payload->find("error");
            const bool failed = error != payload->end() && !error->is_null();
            if (turn.empty())
                return std::nullopt;
            if (type == "task_started")
                return Event{turn, std::nullopt};
            if (type == "task_complete")
                return Event{turn, failed ? AgentState::Error : AgentState::Idle};
            if (type == "turn_aborted")
                return Event{turn, AgentState::Idle};
            return std::nullopt;
        });
}

bool CodexLog::review(StateRecord& record)
{
    if (record.state != u"working" || !record.turnId || !record.transcriptPath)
        return true;
    const std::optional<SessionLog::Event> last = m_log.last(*record.transcriptPath);
    if (last && last->end && last->turn == record.turnId->toStdString())
        record.state = rawValue(*last->end);
    return true;
}

} // namespace korvane
