#pragma once

#include "status/StateDirectory.h"
#include "status/StateRecord.h"

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvane {

// What the agents' own session logs say of a turn that no hook reports.
// Codex CLI runs no hook when a turn fails; its log (the "rollout" file) records
// each turn's start and end, a failed end with its error. Gemini CLI ends a
// failed turn and one cancelled with Esc alike; its chat log tells them apart.
// Another program's files, read from the end and never written: anything
// unexpected in them tells nothing, so that the hooks alone decide.
class SessionLog {
public:
    // How much of a log's end is read; the lines that tell are far shorter.
    static constexpr std::size_t kTail = 256 * 1024;

    // The state the record's turn really ended in ("error" or "idle"), when its
    // agent's log tells: a working Codex turn that ended, a Gemini turn taken for
    // failed that was cancelled. A log is read again only when it changed.
    std::optional<QString> turnEnd(const StateRecord& record);
    // Forgets the logs that no turnEnd() asked for since the last sweep.
    void sweep();

    // The last line that tells in a log's tail, whose first line is cut when
    // `cut` is set: its turn ("" for Gemini's log, which names none) and how
    // the turn ended ("" while it runs).
    struct Event {
        std::string turn;
        QString end;
    };
    static std::optional<Event> lastCodexEvent(std::string_view tail, bool cut);
    static std::optional<Event> lastGeminiEvent(std::string_view tail, bool cut);

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
