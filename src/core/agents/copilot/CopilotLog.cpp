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
    const auto judge = [](const nlohmann::json& j) -> std::optional<std::optional<Event>> {
        const std::string type = SessionLog::stringOf(j, "type");
        if (type == "user.message") // a turn began after anything earlier
            return std::make_optional(std::optional<Event>());
        // Otherwise the dialog closed: approved, or refused with word for the model, which goes on.
        return Event{SessionLog::stringOf(j, "timestamp"),
                     type == "abort" ? AgentState::Idle : AgentState::Working};
    };
    return SessionLog::fromEnd(tail, cut, wanted, judge);
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
