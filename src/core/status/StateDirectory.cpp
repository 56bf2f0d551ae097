#include "status/StateDirectory.h"

#include <QFile>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace korvane {

namespace {

bool hasJsonExtension(std::string_view name)
{
    // Exactly ".json" at the end, lowercase; a bare ".json" is a hidden file with
    // no extension in the platform's path rules.
    return name.size() > 5 && name.substr(name.size() - 5) == ".json";
}

#if defined(Q_OS_LINUX) && !defined(KORVANE_PORTABLE_IO)
std::int64_t nanoseconds(const timespec& t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
#endif

} // namespace

StateDirectory::Identity StateDirectory::identityOf(const struct stat& st)
{
#if defined(Q_OS_LINUX) && !defined(KORVANE_PORTABLE_IO)
    return {st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
#else
    // POSIX guarantees whole seconds only; the settling second in scan() covers the rest.
    return {st.st_dev, st.st_ino, st.st_size, std::int64_t(st.st_mtime) * 1'000'000'000,
            std::int64_t(st.st_ctime) * 1'000'000'000};
#endif
}

bool StateDirectory::isSettled(const struct stat& st, double now)
{
    return double(st.st_ctime) + 1 < now && double(st.st_mtime) + 1 < now;
}

bool StateDirectory::readRegularFile(int dirFd, const char* name, std::string& buffer, struct stat* info)
{
    // O_NONBLOCK: an entry swapped for a FIFO after the caller's stat must not
    // stall the pass; fstat then tells that it is no regular file.
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    bool ok = ::fstat(fd, info) == 0 && S_ISREG(info->st_mode);
    // One byte more than the file holds, so that a read that returns less than
    // it asked for has reached the end. A file that grew since the fstat fills
    // the buffer and makes it grow, up to one byte past the limit.
    buffer.resize(ok ? std::min(std::size_t(info->st_size), kMaxFileSize) + 1 : 0);
    std::size_t used = 0;
    while (ok) {
        const ssize_t n = ::read(fd, buffer.data() + used, buffer.size() - used);
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        used += std::size_t(n);
        if (used > kMaxFileSize)
            ok = false;
        else if (n == 0 || used < buffer.size())
            break;
        else
            buffer.resize(std::min(buffer.size() * 2, kMaxFileSize + 1));
    }
    ::close(fd);
    buffer.resize(used);
    return ok;
}

std::optional<bool> StateDirectory::forEachJsonFile(const QString& path, const JsonFileVisitor& visit)
{
    DIR* dir = ::opendir(QFile::encodeName(path).constData());
    if (!dir)
        return std::nullopt;
    const int dirFd = ::dirfd(dir);
    bool listed = true;
    for (;;) {
        errno = 0;
        const dirent* ent = ::readdir(dir);
        if (!ent) {
            listed = errno == 0;
            break;
        }
        const std::string_view name(ent->d_name);
        if (!hasJsonExtension(name))
            continue;
        // The entry's type rules out FIFOs, sockets and devices before any
        // stat; a link (or a file system that reports no types) is followed by
        // stat, which opens nothing.
        if (ent->d_type != DT_REG && ent->d_type != DT_LNK && ent->d_type != DT_UNKNOWN)
            continue;
        struct stat st {};
        if (::fstatat(dirFd, ent->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        visit(dirFd, ent->d_name, st);
    }
    ::closedir(dir);
    return listed;
}

std::optional<std::vector<StateDirectory::File>> StateDirectory::scan(double now)
{
    ++m_round;
    std::vector<File> files;
    const std::optional<bool> listed =
        forEachJsonFile(m_path, [&](int dirFd, const char* cname, struct stat st) {
            const std::string_view name(cname);
            auto it = m_entries.find(name);
            if (it == m_entries.end() || !it->second.settled || !(it->second.identity == identityOf(st))) {
                if (!readRegularFile(dirFd, cname, m_buffer, &st))
                    return;
                if (it == m_entries.end())
                    it = m_entries.try_emplace(std::string(name)).first;
                Entry& e = it->second;
                e.identity = identityOf(st);
                e.settled = isSettled(st, now);
                e.record = StateRecord::decode(m_buffer);
                if (e.baseName.isEmpty())
                    e.baseName = QFile::decodeName(QByteArray(name.data(), qsizetype(name.size() - 5)));
            }
            Entry& e = it->second;
            e.round = m_round;
            if (e.record)
                files.push_back({it->first, &e.baseName, &*e.record});
        });
    if (!listed || !*listed)
        return std::nullopt;
    // Files gone from the listing, or no longer readable, are forgotten.
    std::erase_if(m_entries, [this](const auto& kv) { return kv.second.round != m_round; });
    return files;
}

void StateDirectory::remove(std::string_view name)
{
    QByteArray path = QFile::encodeName(m_path);
    path.append('/').append(name.data(), qsizetype(name.size()));
    ::unlink(path.constData());
    if (const auto it = m_entries.find(name); it != m_entries.end())
        m_entries.erase(it);
}

} // namespace korvane
