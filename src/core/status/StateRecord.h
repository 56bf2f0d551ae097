#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <string_view>

namespace korvane {

// The content of one state file written by the hook script.
struct StateRecord {
    QString state;
    double ts = 0;
    std::optional<QString> workspace;
    std::optional<QString> conversationId;
    std::optional<QString> agent; // the id of the agent that wrote it (AgentList); absent in older files
    // The agent's turn and its own session log, where what no hook reports shows.
    std::optional<QString> turnId;
    std::optional<QString> transcriptPath;
    // The agent's process, where the hook could tell (agents in a terminal):
    // the conversation ends with it.
    struct Process {
        qint64 pid = 0;
        QByteArray start; // field 22 of /proc/<pid>/stat
        bool operator==(const Process&) const = default;
    };
    std::optional<Process> process;
    // Where the agent runs, as far as the hook could tell: its terminal
    // (tty_nr of /proc/<pid>/stat), the agent's process and a few of its
    // ancestors (pid and name, the agent first), and what the terminal, tmux or
    // the editor told it in its environment (TMUX, WINDOWID, TERM_PROGRAM, ...).
    struct Where {
        qint64 ttyNr = 0;
        QList<std::pair<qint64, QString>> chain;
        QMap<QString, QString> vars;
        bool operator==(const Where&) const = default;
    };
    std::optional<Where> where;

    // Strict: the text must be one well-formed JSON object in UTF-8 (a leading
    // byte-order mark is allowed) with "state" a string, "ts" a number that fits
    // a double, and "workspace" / "conversation_id" absent, null or strings.
    // "agent", "turn_id" and "transcript_path" are kept when they are strings,
    // "pid" and "proc_start" when one is a positive integer and the other digits,
    // "where" when an object (its string members, "tty_nr", and "chain" of [pid, name]).
    // Other members are ignored, but must be well-formed too; no object may
    // repeat a member name. Anything else is nullopt.
    static std::optional<StateRecord> decode(std::string_view json);
    static std::optional<StateRecord> decode(const QByteArray& json)
    {
        return decode(std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
    }

    // The window this record belongs to: the workspace, or "" when absent or empty.
    QString workspaceKey() const;
    // The tab's identity: the conversation id, or the file's base name when absent or empty.
    QString conversationKey(const QString& fileBaseName) const;
};

} // namespace korvane
