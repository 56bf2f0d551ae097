#pragma once

#include <QLockFile>
#include <QString>

namespace korvane {

// Keeps Korvane to one running copy per user: a lock file in the user's runtime
// directory, held for the life of the process. A lock left by a copy that is no
// longer running (a crash) is taken over.
class SingleInstance {
public:
    enum class Result { Acquired, AlreadyRunning, Unavailable };

    explicit SingleInstance(const QString& lockPath = defaultLockPath());

    Result tryAcquire();

    // korvane.lock in the runtime directory (XDG_RUNTIME_DIR on Linux), or in a
    // private folder under the temporary directory when there is none.
    static QString defaultLockPath();

private:
    QString m_path;
    QLockFile m_lock;
};

} // namespace korvane
