#include "agents/SessionLog.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace korvane {

std::string SessionLog::stringOf(const nlohmann::json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<SessionLog::Event> SessionLog::last(const QString& logPath)
{
    if (!logPath.startsWith(u'/') || !logPath.endsWith(QLatin1String(".jsonl")))
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
                                              m_parser({m_buffer.data(), used}, from > 0), false})
                  .first;
    }
    log->second.asked = true;
    return log->second.last;
}

void SessionLog::sweep()
{
    for (auto it = m_logs.begin(); it != m_logs.end();)
        it = std::exchange(it->second.asked, false) ? std::next(it) : m_logs.erase(it);
}

} // namespace korvane
