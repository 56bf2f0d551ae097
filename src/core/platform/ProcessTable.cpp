#include "platform/ProcessTable.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace korvane {

#if defined(Q_OS_LINUX) && !defined(KORVANE_PORTABLE_IO)
const bool SystemProcessTable::kKnows = true;
#else
const bool SystemProcessTable::kKnows = false;
#endif

std::optional<bool> SystemProcessTable::isRunning(qint64 pid, const QByteArray& start) const
{
    if (!kKnows || pid <= 0)
        return std::nullopt;
    const QByteArray path = "/proc/" + QByteArray::number(pid) + "/stat";
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::optional(false) : std::nullopt;
    char buf[1024];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0)
        return std::nullopt;
    // The command name in parentheses may hold anything; the fields follow its last ')'.
    const std::string_view stat(buf, std::size_t(n));
    std::size_t at = stat.rfind(')');
    if (at == std::string_view::npos || at + 2 >= stat.size())
        return std::nullopt;
    if (stat[at + 2] == 'Z' || stat[at + 2] == 'X') // exited, not yet reaped by its parent
        return false;
    for (int field = 2; field < 22 && at != std::string_view::npos; ++field)
        at = stat.find(' ', at + 1);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string_view started = stat.substr(at + 1, stat.find_first_of(" \n", at + 1) - at - 1);
    return started == std::string_view(start.constData(), std::size_t(start.size()));
}

const SystemProcessTable& SystemProcessTable::instance()
{
    static const SystemProcessTable table;
    return table;
}

} // namespace korvane
