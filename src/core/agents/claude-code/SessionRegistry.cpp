#include "agents/claude-code/SessionRegistry.h"

#include "platform/ProcessTable.h"

#include <QFile>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace korvane {

const bool SessionRegistry::kChecksProcesses = SystemProcessTable::kKnows;

std::optional<SessionRegistry::Entry> SessionRegistry::decode(std::string_view json)
{
    const nlohmann::json doc = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
    if (!doc.is_object())
        return std::nullopt;
    const auto member = [&doc](const char* key) -> const nlohmann::json* {
        const auto it = doc.find(key);
        return it == doc.end() ? nullptr : &*it;
    };
    const nlohmann::json* pid = member("pid");
    const nlohmann::json* id = member("sessionId");
    const nlohmann::json* start = member("procStart");
    const nlohmann::json* status = member("status");
    const nlohmann::json* updated = member("statusUpdatedAt");
    const nlohmann::json* version = member("version");
    if (!pid || !pid->is_number_integer() || pid->get<qint64>() <= 0 || !id || !id->is_string() || !start ||
        !start->is_string() || !status || !status->is_string() || !updated || !updated->is_number() ||
        !version || !version->is_string())
        return std::nullopt;
    // The format as seen in the 2.x clients; another major version may mean something else.
    if (version->get_ref<const std::string&>().rfind("2.", 0) != 0)
        return std::nullopt;
    const std::string& word = status->get_ref<const std::string&>();
    Entry e;
    e.session.state = word == "busy"      ? AgentState::Working
                      : word == "waiting" ? AgentState::Waiting
                      : word == "idle"    ? AgentState::Idle
                                          : AgentState::Unknown;
    e.pid = pid->get<qint64>();
    e.procStart = QByteArray::fromStdString(start->get<std::string>());
    e.sessionId = QString::fromStdString(id->get<std::string>());
    e.session.updated = updated->get<double>() / 1000;
    if (e.session.state == AgentState::Unknown || e.sessionId.isEmpty() || e.procStart.isEmpty() ||
        !std::isfinite(e.session.updated))
        return std::nullopt;
    return e;
}

std::optional<bool> SessionRegistry::isRunning(qint64 pid, const QByteArray& procStart)
{
    return SystemProcessTable::instance().isRunning(pid, procStart);
}

void SessionRegistry::scan(double now)
{
    m_sessions.clear();
    ++m_round;
    const std::optional<bool> listed =
        StateDirectory::forEachJsonFile(m_path, [&](int dirFd, const char* name, struct stat st) {
            auto it = m_files.find(name);
            if (it == m_files.end() || !it->second.settled ||
                !(it->second.identity == StateDirectory::identityOf(st))) {
                if (!StateDirectory::readRegularFile(dirFd, name, m_buffer, &st))
                    return;
                const File file{StateDirectory::identityOf(st), decode(m_buffer),
                                StateDirectory::isSettled(st, now), 0};
                it = m_files.insert_or_assign(std::string(name), file).first;
            }
            it->second.round = m_round;
            if (!it->second.entry)
                return;
            const Entry& e = *it->second.entry;
            const std::optional<bool> running = isRunning(e.pid, e.procStart);
            Session s = e.session;
            s.ended = running == false;
            auto known = m_sessions.find(e.sessionId);
            if (known == m_sessions.end())
                m_sessions.insert(e.sessionId, s);
            else if (known->ended != s.ended ? known->ended : known->updated < s.updated)
                *known = s;
        });
    if (!listed)
        m_files.clear();
    else
        std::erase_if(m_files, [this](const auto& kv) { return kv.second.round != m_round; });
}

QStringList SessionRegistry::watchedPaths() const
{
    return QStringList{m_path} + filePaths();
}

bool SessionRegistry::review(StateRecord& record)
{
    const Session* session = record.conversationId ? find(*record.conversationId) : nullptr;
    if (session && session->ended)
        return false;
    if (session && session->updated > record.ts) {
        record.state = rawValue(session->state);
        record.ts = session->updated;
    }
    return true;
}

QStringList SessionRegistry::filePaths() const
{
    QStringList paths;
    for (const auto& [name, file] : m_files)
        paths << m_path + u'/' + QFile::decodeName(QByteArray::fromStdString(name));
    return paths;
}

const SessionRegistry::Session* SessionRegistry::find(const QString& sessionId) const
{
    const auto it = m_sessions.constFind(sessionId);
    return it == m_sessions.cend() ? nullptr : &*it;
}

} // namespace korvane
