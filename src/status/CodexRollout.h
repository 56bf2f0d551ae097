#pragma once

#include "status/StateDirectory.h"

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvane {

// Codex CLI runs no hook when a turn fails, but its session log (the "rollout"
// file that every hook call names) records each turn's start and end, a failed
// end with its error. An internal file of another program, read from the end
// and never written: anything unexpected in it tells nothing, so that the hooks
// alone decide.
class CodexRollout {
public:
    // How much of a log's end is read; the lines of a turn's start and end are far shorter.
    static constexpr std::size_t kTail = 256 * 1024;

    // "error" when the log shows turnId failed, "idle" when it ended otherwise
    // (also interrupted), nullopt while it runs or when the log cannot tell. A
    // log is read again only when it changed.
    std::optional<QString> turnEnd(const QString& logPath, const QString& turnId);
    // Forgets the logs that no turnEnd() asked for since the last sweep.
    void sweep();

    // The last turn start or end in a log's tail, whose first line is cut when
    // `cut` is set. `end` is "" for a start.
    struct Event {
        std::string turn;
        QString end;
    };
    static std::optional<Event> lastEvent(std::string_view tail, bool cut);

private:
    struct Log {
        StateDirectory::Identity identity;
        std::optional<Event> last;
        bool asked;
    };
    std::unordered_map<std::string, Log> m_logs;
    std::string m_buffer;
};

} // namespace korvane
