#pragma once

#include "agents/SessionReader.h"
#include "status/AgentState.h"
#include "status/StateDirectory.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvane {

// Claude Code's own list of its running clients: one JSON file per process in
// ~/.claude/sessions, which follows a session's status at once (also through
// an interrupt, which no hook reports) and stays behind when the process is
// killed. An internal file of another program: anything unexpected in it
// counts as no entry, so that the hooks alone decide. Never written to.
class SessionRegistry final : public SessionReader {
public:
    struct Session {
        AgentState state = AgentState::Unknown; // Working, Waiting or Idle
        double updated = 0;                     // when the status was set, seconds since 1970
        bool ended = false;                     // its process is gone
    };
    struct Entry {
        qint64 pid = 0;
        QByteArray procStart;
        QString sessionId;
        Session session;
    };

    // Whether ended() can be known here: Linux reads /proc.
    static const bool kChecksProcesses;

    explicit SessionRegistry(QString path) : m_path(std::move(path)) {}
    const QString& path() const { return m_path; }

    // The folder, and the session files, which the client rewrites in place.
    QStringList watchedPaths() const override;
    // Reads the folder again (files that changed only, as StateDirectory does)
    // and checks which processes still run. A missing folder holds no sessions.
    void scan(double now) override;
    // A newer status wins over the record's; an ended process ends the conversation.
    bool review(StateRecord& record) override;
    // The session with that id; a running process's entry wins over an ended one.
    const Session* find(const QString& sessionId) const;
    // The session files the last scan found.
    QStringList filePaths() const;

    static std::optional<Entry> decode(std::string_view json);
    // Whether pid runs and started at procStart (field 22 of /proc/<pid>/stat);
    // nullopt when that cannot be told.
    static std::optional<bool> isRunning(qint64 pid, const QByteArray& procStart);

private:
    struct File {
        StateDirectory::Identity identity;
        std::optional<Entry> entry;
        bool settled;
        std::uint64_t round;
    };

    QString m_path;
    std::unordered_map<std::string, File> m_files;
    QHash<QString, Session> m_sessions;
    std::uint64_t m_round = 0;
    std::string m_buffer;
};

} // namespace korvane
