#include "hooks/HookInstaller.h"

#include "agents/Agent.h"
#include "agents/AgentList.h"
#include "hooks/HookMerge.h"
#include "hooks/JsonFile.h"
#include "io/AtomicFile.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <algorithm>

Q_LOGGING_CATEGORY(lcHooks, "korvane.hooks")

namespace korvane {

namespace {

constexpr QFileDevice::Permissions kScriptMode =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
    QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;

// The state records name the user's projects; older scripts left their folder
// readable by everyone.
void makeStateFolderPrivate()
{
    const QString dir = QDir::homePath() + QStringLiteral("/.cursor/signalwick/state");
    const QFileInfo info(dir);
    constexpr auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (!info.isDir() || !(info.permissions() & others))
        return;
    const bool done =
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    SystemLog::instance().write(
        done ? QStringLiteral("Korvane: %1 was open to other users; now it is yours only").arg(dir)
             : QStringLiteral("Korvane: cannot make %1 yours only").arg(dir));
}

// The agent's events, less the ones that hold a prompt when the user does not answer there.
std::vector<std::string> eventsOf(const Agent& agent, bool answering,
                                  std::vector<std::string>* withdrawn = nullptr)
{
    std::vector<std::string> events = agent.events();
    if (answering)
        return events;
    const std::vector<std::string> held = agent.layout().answerEvents;
    std::erase_if(events,
                  [&](const std::string& e) { return std::find(held.begin(), held.end(), e) != held.end(); });
    if (withdrawn)
        *withdrawn = held;
    return events;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Written only when its bytes change, so that a running hook never sees it half done.
bool HookInstaller::deploy(const QByteArray& bytes, const QString& destination, QString* error)
{
    if (!HookMerge::setAsideDanglingLink(destination, error))
        return false;
    if (readAll(destination) != bytes && !AtomicFile::write(destination, bytes, error))
        return false;
    if ((QFile::permissions(destination) & 0x7077) != kScriptMode &&
        !QFile::setPermissions(destination, kScriptMode)) {
        *error = QStringLiteral("cannot make %1 executable").arg(destination);
        return false;
    }
    return true;
}

QString HookInstaller::helperPath()
{
    return QDir::homePath() + QStringLiteral("/.cursor/hooks/signalwick-ask");
}

QString HookInstaller::scriptPath()
{
    return QDir::homePath() + QStringLiteral("/.cursor/hooks/signalwick.sh");
}

bool HookInstaller::merge(const Agent& agent, QString* error, bool answering)
{
    const QString dir = QFileInfo(agent.configPath()).path();
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    if (!agent.plugin().isEmpty()) { // a file Korvane owns: written only when its bytes change
        const QByteArray plugin = readAll(agent.plugin());
        if (plugin.isEmpty()) {
            *error = QStringLiteral("no plugin at %1").arg(agent.plugin());
            return false;
        }
        return readAll(agent.configPath()) == plugin || AtomicFile::write(agent.configPath(), plugin, error);
    }
    const std::vector<std::string> older = agent.olderCommands(scriptPath());
    std::vector<std::string> withdrawn;
    const std::vector<std::string> events = eventsOf(agent, answering, &withdrawn);
    return HookMerge::mergeFile(agent.configPath(), events, agent.layout(),
                                {agent.command(scriptPath()), older}, error, withdrawn);
}

bool HookInstaller::install(bool answering)
{
    const auto fail = [](const QString& what) {
        SystemLog::instance().write(QStringLiteral("Korvane: hook install failed: ") + what);
        return false;
    };

    const QString destination = scriptPath();
    const QString hooksDir = QFileInfo(destination).path();
    if (!QDir().mkpath(hooksDir))
        return fail(QStringLiteral("cannot create %1").arg(hooksDir));

    QFile resource(QString::fromLatin1(kScriptResource));
    if (!resource.exists()) {
        qCDebug(lcHooks) << "no hook script resource" << kScriptResource;
        return false;
    }
    if (!resource.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(resource.fileName(), resource.errorString()));
    const QByteArray script = resource.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8.decode(script);
    if (utf8.hasError())
        return fail(QStringLiteral("%1 is not UTF-8 text").arg(resource.fileName()));

    QString error;
    if (!deploy(script, destination, &error))
        return fail(error);
    // Without its helper the script asks nothing: the prompts stay in the terminal.
    QFile helper(QString::fromLatin1(kHelperResource));
    if (helper.open(QIODevice::ReadOnly) && !deploy(helper.readAll(), helperPath(), &error))
        return fail(error);
    makeStateFolderPrivate();

    for (const Agent* agent : AgentList::all()) {
        if (agent->available() && !(merge(*agent, &error, answering) && agent->finishInstall(&error)))
            return fail(error);
    }
    qCDebug(lcHooks) << "hooks installed at" << destination;
    return true;
}

bool HookInstaller::isInstalled(const Agent& agent, bool answering)
{
    if (!agent.plugin().isEmpty()) {
        const QByteArray plugin = readAll(agent.plugin());
        return !plugin.isEmpty() && readAll(agent.configPath()) == plugin;
    }
    JsonFile::Content content = JsonFile::readObject(agent.configPath());
    const std::vector<std::string> older = agent.olderCommands(scriptPath());
    const HookMerge::Entry entry{agent.command(scriptPath()), older};
    std::vector<std::string> withdrawn;
    const std::vector<std::string> events = eventsOf(agent, answering, &withdrawn);
    return content.status == JsonFile::Status::Object &&
           HookMerge::isMerged(content.object, events, agent.layout(), entry) &&
           !HookMerge::withdraw(content.object, withdrawn, agent.layout(), entry); // none left to take out
}

bool HookInstaller::isInstalled(bool answering)
{
    const QFileInfo script(scriptPath());
    const auto& agents = AgentList::all();
    return (script.exists() || script.isSymLink()) &&
           std::all_of(agents.begin(), agents.end(), [answering](const Agent* agent) {
               return !agent->available() || isInstalled(*agent, answering);
           });
}

} // namespace korvane
