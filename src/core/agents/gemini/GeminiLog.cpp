#include "agents/gemini/GeminiLog.h"

namespace korvane {

std::optional<SessionLog::Event> GeminiLog::lastEvent(std::string_view tail, bool cut)
{
    using Event = SessionLog::Event;
    // Messages only, not the "$set" lines that rewrite the whole list.
    const auto wanted = [](std::string_view line) { return line.substr(0, 7) == R"({"id":")"; };
    return SessionLog::fromEnd(
        tail, cut, wanted, [](const nlohmann::json& j) -> std::optional<std::optional<Event>> {
            const std::string type = SessionLog::stringOf(j, "type");
            if (type == "error")
                return Event{{}, AgentState::Error};
            if (type == "gemini" ||
                (type == "info" && SessionLog::stringOf(j, "content") == "Request cancelled."))
                return Event{{}, AgentState::Idle};
            if (type == "user") // the turn's start, and nothing after it told
                return std::make_optional(std::optional<Event>());
            return std::nullopt;
        });
}

bool GeminiLog::review(StateRecord& record)
{
    if (record.state != u"error" || !record.transcriptPath)
        return true;
    const std::optional<SessionLog::Event> last = m_log.last(*record.transcriptPath);
    if (last && last->end)
        record.state = rawValue(*last->end);
    return true;
}

} // namespace korvane
