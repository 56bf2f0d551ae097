#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace korvane {

// Short helper programs (tmux, the editors' command lines, swaymsg, dbus-send)
// and the few /proc files that tell where a process runs. Tests put fakes here.
class ProcessRunner {
public:
    struct Result {
        int exitCode = -1; // -1: did not start, crashed or timed out
        QByteArray out;
    };
    virtual ~ProcessRunner() = default;
    // Waits at most timeoutMs; the program's standard error is dropped.
    virtual Result run(const QString& program, const QStringList& args, int timeoutMs = 1000) = 0;
    // Starts it and does not wait (an editor's command line may stay a while).
    virtual bool startDetached(const QString& program, const QStringList& args) = 0;
    // At most 64 KiB of a file such as /proc/<pid>/environ; empty when unreadable.
    virtual QByteArray readFile(const QString& path) const = 0;
    // Whether the named program is on PATH or an executable file.
    virtual bool available(const QString& program) const = 0;

    // The value of name in /proc/<pid>/environ, or "" when it is not there.
    QString environOf(qint64 pid, const QByteArray& name) const;
    // The process and its ancestors, up to 12, as (pid, name), from /proc.
    QList<std::pair<qint64, QString>> ancestry(qint64 pid) const;
};

class SystemProcessRunner final : public ProcessRunner {
public:
    Result run(const QString& program, const QStringList& args, int timeoutMs) override;
    bool startDetached(const QString& program, const QStringList& args) override;
    QByteArray readFile(const QString& path) const override;
    bool available(const QString& program) const override;
    static SystemProcessRunner& instance();
};

} // namespace korvane
