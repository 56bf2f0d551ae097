#include "status/CodexRollout.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <unistd.h>
#include <utility>

namespace korvane {

std::optional<CodexRollout::Event> CodexRollout::lastEvent(std::string_view tail, bool cut)
{
    // Whole lines only: the last one may be half written, the first one cut.
    std::size_t end = tail.rfind('\n');
    while (end != std::string_view::npos && end > 0) {
        const std::size_t nl = tail.rfind('\n', end - 1);
        const std::size_t begin = nl == std::string_view::npos ? 0 : nl + 1;
        if (begin == 0 && cut)
            break;
        const std::string_view line = tail.substr(begin, end - begin);
        end = nl;
        // Most lines are the conversation itself: skip them unparsed.
        if (line.find("\"event_msg\"") == std::string_view::npos ||
            (line.find("\"task_") == std::string_view::npos &&
             line.find("\"turn_aborted\"") == std::string_view::npos))
            continue;
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_object() || j.value("type", nlohmann::json()) != "event_msg")
            continue;
        const auto payload = j.find("payload");
        if (payload == j.end() || !payload->is_object())
            continue;
        const auto type = payload->find("type");
        const auto turn = payload->find("turn_id");
        if (type == payload->end() || turn == payload->end() || !type->is_string() || !turn->is_string())
            continue;
        const auto error = payload->find("error");
        const bool failed = error != payload->end() && !error->is_null();
        if (*type == "task_started")
            return Event{turn->get<std::string>(), QString()};
        if (*type == "task_complete")
            return Event{turn->get<std::string>(), failed ? QStringLiteral("error") : QStringLiteral("idle")};
        if (*type == "turn_aborted")
            return Event{turn->get<std::string>(), QStringLiteral("idle")};
    }
    return std::nullopt;
}

std::optional<QString> CodexRollout::turnEnd(const QString& logPath, const QString& turnId)
{
    if (!logPath.startsWith(u'/') || !logPath.endsWith(QLatin1String(".jsonl")) || turnId.isEmpty())
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
                  .insert_or_assign(path, Log{StateDirectory::identityOf(st),
                                              lastEvent({m_buffer.data(), used}, from > 0), false})
                  .first;
    }
    log->second.asked = true;
    const std::optional<Event>& last = log->second.last;
    if (!last || last->turn != turnId.toStdString() || last->end.isEmpty())
        return std::nullopt;
    return last->end;
}

void CodexRollout::sweep()
{
    for (auto it = m_logs.begin(); it != m_logs.end();)
        it = std::exchange(it->second.asked, false) ? std::next(it) : m_logs.erase(it);
}

} // namespace korvane
