#include "agents/Agent.h"

#include "agents/SessionReader.h"

#include <QDir>
#include <QFileInfo>
#include <string_view>
#include <utility>

namespace korvane {

namespace {

// id and its events, space-separated, as the agents' hook.awk headers give them.
constexpr std::pair<std::string_view, std::string_view> kRegistered[] = {
#include <agents/HookEvents.inc> // generated from the agents' hook.awk
};

} // namespace

bool Agent::available() const
{
    const QFileInfo info(QDir::homePath() + u'/' + folder());
    return info.exists() || info.isSymLink();
}

std::string Agent::command(const QString& script) const
{
    return shellWord(script.toStdString()) + ' ' + id().toStdString();
}

std::vector<std::string> Agent::olderCommands(const QString& script) const
{
    // Without an argument; before paths were quoted, also as it is.
    const std::string path = script.toStdString();
    return shellWord(path) == path ? std::vector{path} : std::vector{shellWord(path), path};
}

bool Agent::finishInstall(QString*) const
{
    return true;
}

std::unique_ptr<SessionReader> Agent::makeReader() const
{
    return nullptr;
}

std::vector<std::string> Agent::events() const
{
    const std::string me = id().toStdString();
    std::vector<std::string> events;
    for (const auto& [agent, list] : kRegistered) {
        if (agent != me)
            continue;
        for (std::size_t at = 0; at < list.size();) {
            const std::size_t end = std::min(list.find(' ', at), list.size());
            if (end > at)
                events.emplace_back(list.substr(at, end - at));
            at = end + 1;
        }
    }
    return events;
}

QString Agent::configPath() const
{
    return QDir::homePath() + u'/' + configFile();
}

std::string Agent::shellWord(const std::string& text)
{
    constexpr std::string_view literal =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,:@%=";
    if (!text.empty() && text.find_first_not_of(literal) == std::string::npos)
        return text;
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + '\'';
}

} // namespace korvane
