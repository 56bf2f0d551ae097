#pragma once

#include "agents/SessionReader.h"
#include "status/AgentState.h"
#include "status/StateDirectory.h"

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvane {

// The end of an agent's own session log (one JSON object a line), where a turn
// that no hook reports shows. Read from the end and never written; a log is read
// again only when it changed. What a log says is the agent's parser's business.
class SessionLog {
public:
    // How much of a log's end is read; the lines that tell are far shorter.
    static constexpr std::size_t kTail = 256 * 1024;

    // The last line that tells: its turn ("" where the log names none) and how
    // the turn ended (nothing while it runs).
    struct Event {
        std::string turn;
        std::optional<AgentState> end;
    };
    // The last event in a log's tail, whose first line is cut when `cut` is set.
    using Parser = std::optional<Event> (*)(std::string_view tail, bool cut);

    explicit SessionLog(Parser parser) : m_parser(parser) {}

    // The last event of the log at `path` (absolute, ".jsonl", a regular file).
    std::optional<Event> last(const QString& path);
    // Forgets the logs that no last() asked for since the last sweep.
    void sweep();

    // The whole lines of a tail from the last, as objects, until `judge` returns
    // an event or an empty optional (std::nullopt goes on). Lines that `wanted`
    // does not accept are skipped unparsed: most are the conversation itself.
    template <typename Wanted, typename Judge>
    static std::optional<Event> fromEnd(std::string_view tail, bool cut, Wanted wanted, Judge judge)
    {
        // The last line may be half written, the first one cut.
        std::size_t end = tail.rfind('\n');
        while (end != std::string_view::npos && end > 0) {
            const std::size_t nl = tail.rfind('\n', end - 1);
            const std::size_t begin = nl == std::string_view::npos ? 0 : nl + 1;
            if (begin == 0 && cut)
                break;
            const std::string_view line = tail.substr(begin, end - begin);
            end = nl;
            if (!wanted(line))
                continue;
            const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
            if (!j.is_object())
                continue;
            const std::optional<std::optional<Event>> verdict = judge(j);
            if (verdict)
                return *verdict;
        }
        return std::nullopt;
    }
    static std::string stringOf(const nlohmann::json& object, const char* key);

private:
    struct Log {
        StateDirectory::Identity identity;
        std::optional<Event> last;
        bool asked;
    };
    Parser m_parser;
    std::unordered_map<std::string, Log> m_logs;
    std::string m_buffer;
};

// A reader whose agent keeps one such log per conversation: the agent gives the
// parser and what a record takes from the log's last event.
class LogReader : public SessionReader {
public:
    explicit LogReader(SessionLog::Parser parser) : m_log(parser) {}
    void sweep() override { m_log.sweep(); }

protected:
    SessionLog m_log;
};

} // namespace korvane
