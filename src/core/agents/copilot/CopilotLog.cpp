#include "agents/copilot/CopilotLog.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>

namespace korvane {

std::optional<SessionLog::Event> CopilotLog::lastEvent(std::string_view tail, bool cut)
{
    using Event = SessionLog::Event;
    const auto wanted = [](std::string_view line) {
        for (const char* type :
             {R"({"type":"permission.completed")", R"({"type":"abort")", R"({"type":"user.message")"})
            if (line.starts_with(type))
                return true;
        return false;
    };
    return SessionLog::fromEnd(
        tail, cut, wanted, [](const nlohmann::json& j) -> std::optional<std::optional<Event>> {
            const std::string type = SessionLog::stringOf(j, "type");
            const std::string at = SessionLog::stringOf(j, "timestamp");
            if (type == "user.message") // a turn began after anything earlier
                return std::make_optional(std::optional<Event>());
            if (type == "abort")
                return Event{at, AgentState::Idle};
            const auto data = j.find("data");
            const nlohmann::json* result = nullptr;
            if (data != j.end() && data->is_object() && data->contains("result"))
                result = &(*data)["result"];
            if (result && result->is_object() && SessionLog::stringOf(*result, "kind") == "approved")
                return Event{at, AgentState::Working};
            return std::nullopt; // denied: the turn's end or the next prompt tells
        });
}

bool CopilotLog::review(StateRecord& record)
{
    if ((record.state != u"working" && record.state != u"waiting") || !record.conversationId)
        return true;
    static const QRegularExpression safe("^[A-Za-z0-9-]+$");
    if (!safe.match(*record.conversationId).hasMatch())
        return true;
    const QString path = record.transcriptPath.value_or(QDir::homePath() + "/.copilot/session-state/" +
                                                        *record.conversationId + "/events.jsonl");
    const std::optional<SessionLog::Event> last = m_log.last(path);
    if (!last || !last->end || (*last->end == AgentState::Working && record.state != u"waiting"))
        return true;
    const QDateTime at = QDateTime::fromString(QString::fromStdString(last->turn), Qt::ISODateWithMs);
    if (at.isValid() && at.toMSecsSinceEpoch() / 1000.0 > record.ts)
        record.state = rawValue(*last->end);
    return true;
}

} // namespace korvane
