#pragma once

#include <QString>

namespace korvane {

// One line for the user-visible system log (syslog/journald, or the unified log
// on macOS) and for stderr. Lines begin with "Korvane: ".
class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void write(const QString& line) = 0;

    // The process-wide sink; tests replace it with a recorder.
    static SystemLog& instance();
    static void setInstance(SystemLog* log); // nullptr restores the real one
};

class SyslogSystemLog final : public SystemLog {
public:
    void write(const QString& line) override;
};

} // namespace korvane
