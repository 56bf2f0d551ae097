#pragma once

#include "status/StateRecord.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace korvane {

// The state directory as a set of decoded records. A file is read again only
// when it is not the file last read under its name (device, inode, size,
// modification and change time differ), so that a pass over a directory where
// nothing changed costs a listing and a stat per file.
//
// Only regular files (or links to them) up to kMaxFileSize are opened, never
// blocking: a FIFO, a socket or a device under a state file's name is skipped
// without being opened.
class StateDirectory {
public:
    static constexpr std::size_t kMaxFileSize = 1024 * 1024;

    struct File {
        std::string_view name;     // with ".json"; valid until the next scan() or remove()
        const QString* baseName;   // without ".json"
        const StateRecord* record; // never null
    };

    explicit StateDirectory(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // The decodable state files, in the listing's order; nullopt when the
    // directory cannot be listed. `now` (seconds since 1970) is when the pass
    // began: a file changed within a second of it is read again next time, as
    // a file system's clock may not have moved between two writes.
    std::optional<std::vector<File>> scan(double now);

    // Deletes a state file (a failure is retried by the next pass that asks).
    void remove(std::string_view name);

    // The loop of scan(), also for other folders: every "*.json" that is a
    // regular file (or a link to one), with the folder's descriptor and the
    // file's status. nullopt when the folder cannot be opened, false when its
    // listing broke off.
    using JsonFileVisitor = std::function<void(int dirFd, const char* name, const struct stat& info)>;
    static std::optional<bool> forEachJsonFile(const QString& path, const JsonFileVisitor& visit);

    // Reads one file as scan() does: regular files only, without blocking, up
    // to the size limit; false otherwise. Also for other folders.
    static bool readRegularFile(int dirFd, const char* name, std::string& buffer, struct stat* info);

    struct Identity {
        dev_t dev;
        ino_t ino;
        off_t size;
        std::int64_t mtimeNs;
        std::int64_t ctimeNs;
        friend bool operator==(const Identity&, const Identity&) = default;
    };
    static Identity identityOf(const struct stat& st);
    // Whether a file read at `now` cannot change again without changing its identity.
    static bool isSettled(const struct stat& st, double now);

private:
    struct Entry {
        Identity identity;
        bool settled;
        std::optional<StateRecord> record;
        QString baseName;
        std::uint64_t round;
    };
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };

    QString m_path;
    std::unordered_map<std::string, Entry, NameHash, std::equal_to<>> m_entries;
    std::uint64_t m_round = 0;
    std::string m_buffer;
};

} // namespace korvane
