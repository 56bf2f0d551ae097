#pragma once

#include "platform/SystemLog.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace korvane::test {

QByteArray readBytes(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);

// Records every system-log line instead of writing it out.
class RecordingLog final : public SystemLog {
public:
    RecordingLog() { SystemLog::setInstance(this); }
    ~RecordingLog() override { SystemLog::setInstance(nullptr); }
    void write(const QString& line) override { lines.append(line); }
    QStringList lines;
};

// A small tmpfs mounted over a folder for the life of the object (root only).
// Faults are made by remounting it read-only or by filling it up.
class TmpfsMount {
public:
    TmpfsMount(const QString& dir, int kilobytes);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool isMounted() const { return m_mounted; }
    const QString& error() const { return m_error; }
    bool remountReadOnly();
    static bool remountWritable(const QString& dir);
    bool fill(); // until the file system reports it is full

private:
    QString m_dir;
    bool m_mounted = false;
    QString m_error;
};

// The unprivileged account children switch to; nullopt when there is none or
// the test is not root (then it cannot switch).
struct Account {
    uid_t uid;
    gid_t gid;
};
std::optional<Account> unprivilegedAccount();
bool chownTree(const QString& path, uid_t uid, gid_t gid);

struct ChildResult {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
    QStringList lines() const;
};

// Runs the hardening_child helper to the end (30 s at most), optionally as
// another account, with the given environment.
ChildResult runChild(const QStringList& args, const QProcessEnvironment& env,
                     std::optional<Account> as = std::nullopt);

} // namespace korvane::test
