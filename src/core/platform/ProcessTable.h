#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace korvane {

// Which processes run. A process is named by its pid and its start time (in
// clock ticks since boot, field 22 of /proc/<pid>/stat), so that a pid the
// system has given to another process since does not count.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // nullopt when that cannot be told here.
    virtual std::optional<bool> isRunning(qint64 pid, const QByteArray& start) const = 0;
};

// Reads /proc on Linux; elsewhere it cannot tell.
class SystemProcessTable final : public ProcessTable {
public:
    static const bool kKnows;
    std::optional<bool> isRunning(qint64 pid, const QByteArray& start) const override;
    static const SystemProcessTable& instance();
};

} // namespace korvane
