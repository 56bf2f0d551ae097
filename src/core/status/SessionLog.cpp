#include "status/SessionLog.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <unistd.h>
#include <utility>

namespace korvane {

namespace {

using Json = nlohmann::json;

// The whole lines of a log's tail from the last, as objects, until `judge`
// returns an event or `false` (std::nullopt goes on). Lines that `wanted` does
// not accept are skipped unparsed: most are the conversation itself.
template <typename Wanted, typename Judge>
std::optional<SessionLog::Event> lastEvent(std::string_view tail, bool cut, Wanted wanted, Judge judge)
{
    // The last line may be half written, the first one cut.
    std::size_t end = tail.rfind('\n');
    while (end != std::string_view::npos && end > 0) {
        const std::size_t nl = tail.rfind('\n', end - 1);
        const std::size_t begin = nl == std::string_view::npos ? 0 : nl + 1;
        if (begin == 0 && cut)
            break;
        const std::string_view line = tail.substr(begin, end - begin);
        end = nl;
        if (!wanted(line))
            continue;
        const Json j = Json::parse(line, nullptr, false);
        if (!j.is_object())
            continue;
        const std::optional<std::optional<SessionLog::Event>> verdict = judge(j);
        if (verdict)
            return *verdict;
    }
    return std::nullopt;
}

bool has(std::string_view line, std::string_view what)
{
    return line.find(what) != std::string_view::npos;
}

QString stringOf(const Json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? QString::fromStdString(it->get<std::string>()) : QString();
}

} // namespace

std::optional<SessionLog::Event> SessionLog::lastCodexEvent(std::string_view tail, bool cut)
{
    const auto wanted = [](std::string_view line) {
        return has(line, "\"event_msg\"") && (has(line, "\"task_") || has(line, "\"turn_aborted\""));
    };
    return lastEvent(tail, cut, wanted, [](const Json& j) -> std::optional<std::optional<Event>> {
        const auto payload = j.find("payload");
        if (stringOf(j, "type") != u"event_msg" || payload == j.end() || !payload->is_object())
            return std::nullopt;
        const QString type = stringOf(*payload, "type");
        const std::string turn = stringOf(*payload, "turn_id").toStdString();
        const auto error = payload->find("error");
        const bool failed = error != payload->end() && !error->is_null();
        if (turn.empty())
            return std::nullopt;
        if (type == u"task_started")
            return Event{turn, QString()};
        if (type == u"task_complete")
            return Event{turn, failed ? QStringLiteral("error") : QStringLiteral("idle")};
        if (type == u"turn_aborted")
            return Event{turn, QStringLiteral("idle")};
        return std::nullopt;
    });
}

std::optional<SessionLog::Event> SessionLog::lastGeminiEvent(std::string_view tail, bool cut)
{
    // Messages only, not the "$set" lines that rewrite the whole list.
    const auto wanted = [](std::string_view line) { return line.substr(0, 7) == R"({"id":")"; };
    return lastEvent(tail, cut, wanted, [](const Json& j) -> std::optional<std::optional<Event>> {
        const QString type = stringOf(j, "type");
        if (type == u"error")
            return Event{{}, QStringLiteral("error")};
        if (type == u"gemini" || (type == u"info" && stringOf(j, "content") == u"Request cancelled."))
            return Event{{}, QStringLiteral("idle")};
        if (type == u"user") // the turn's start, and nothing after it told
            return std::make_optional(std::optional<Event>());
        return std::nullopt;
    });
}

std::optional<QString> SessionLog::turnEnd(const StateRecord& record)
{
    const bool codex = record.agent == u"codex" && record.state == u"working" && record.turnId;
    const bool gemini = record.agent == u"gemini" && record.state == u"error";
    const QString logPath = record.transcriptPath.value_or(QString());
    if ((!codex && !gemini) || !logPath.startsWith(u'/') || !logPath.endsWith(QLatin1String(".jsonl")))
        return std::nullopt;
    const std::string path = QFile::encodeName(logPath).toStdString();
    // Only a regular file is opened: opening a FIFO would let its writer go on.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    auto log = m_logs.find(path);
    if (log == m_logs.end() || log->second.identity != StateDirectory::identityOf(st)) {
        // O_NONBLOCK: a FIFO swapped in since the stat must not stall the pass.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return std::nullopt;
        std::size_t used = 0;
        off_t from = 0;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            from = st.st_size > off_t(kTail) ? st.st_size - off_t(kTail) : 0;
            m_buffer.resize(std::size_t(std::min(st.st_size, off_t(kTail))));
            while (used < m_buffer.size()) {
                const ssize_t n =
                    ::pread(fd, m_buffer.data() + used, m_buffer.size() - used, from + off_t(used));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                used += std::size_t(n);
            }
        }
        ::close(fd);
        log = m_logs
                  .insert_or_assign(
                      path, Log{StateDirectory::identityOf(st),
                                (codex ? lastCodexEvent : lastGeminiEvent)({m_buffer.data(), used}, from > 0),
                                false})
                  .first;
    }
    log->second.asked = true;
    const std::optional<Event>& last = log->second.last;
    if (!last || last->end.isEmpty() || (codex && last->turn != record.turnId->toStdString()))
        return std::nullopt;
    return last->end;
}

void SessionLog::sweep()
{
    for (auto it = m_logs.begin(); it != m_logs.end();)
        it = std::exchange(it->second.asked, false) ? std::next(it) : m_logs.erase(it);
}

} // namespace korvane
