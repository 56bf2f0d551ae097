#pragma once

#include <QByteArray>
#include <QString>

namespace korvane {

// Replaces a file's content so that a reader sees the old bytes or the new,
// never a part, also after a crash or a full disk: written aside in the same
// folder, synced, renamed into place. A path that is a symbolic link stays a
// link (its target is replaced), which keeps dotfiles kept in a repository
// intact; an existing file keeps its mode.
class AtomicFile {
public:
    AtomicFile() = delete;

    // False, with *error "cannot write <path>: <reason>", when the old file stays.
    static bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr);
};

} // namespace korvane
