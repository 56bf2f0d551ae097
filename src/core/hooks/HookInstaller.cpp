#include "hooks/HookInstaller.h"

#include "hooks/CodexConfig.h"
#include "hooks/GeminiConfig.h"
#include "hooks/JsonFile.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <algorithm>
#include <functional>

Q_LOGGING_CATEGORY(lcHooks, "korvane.hooks")

namespace korvane {

namespace {

using nlohmann::json;

constexpr QFileDevice::Permissions kScriptMode =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
    QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool isArrayOfObjects(const json& value)
{
    return value.is_array() &&
           std::all_of(value.begin(), value.end(), [](const json& e) { return e.is_object(); });
}

bool runsCommand(const json& entry, std::string_view command)
{
    const auto it = entry.find("command");
    return it != entry.end() && it->is_string() && it->get_ref<const std::string&>() == command;
}

// The event's array when it is one of objects only; anything else starts afresh,
// and is reported through *dropped.
json takeArray(const json& hooks, std::string_view event, bool* dropped)
{
    const auto it = hooks.find(event);
    if (it == hooks.end())
        return json::array();
    if (isArrayOfObjects(*it))
        return *it;
    *dropped = true;
    return json::array();
}

json takeHooksObject(const json& root, bool* dropped)
{
    const auto it = root.find("hooks");
    if (it != root.end() && it->is_object())
        return *it;
    *dropped = it != root.end();
    return json::object();
}

// A link into a folder that is gone cannot be written through: the link is kept
// aside like a damaged file, and a plain file takes its place.
bool setAsideDanglingLink(const QString& path, QString* error)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.symLinkTarget()).path();
    if (!info.isSymLink() || info.exists() || QFileInfo(folder).isDir())
        return true;
    const QString backup = JsonFile::backupPath(path);
    if (!QFile::rename(path, backup)) {
        *error = QStringLiteral("cannot move the link %1 aside").arg(path);
        return false;
    }
    SystemLog::instance().write(
        QStringLiteral("Korvane: %1 pointed into %2, which does not exist; the link is kept as %3")
            .arg(path, folder, backup));
    return true;
}

// Merges one configuration file. A file that cannot be used whole, or whose
// merge drops a value of the wrong shape, is kept aside first, since users put
// work into them. The same bytes are not written again.
bool mergeFile(const QString& path, const std::function<bool(json&)>& merge, QString* error)
{
    if (!setAsideDanglingLink(path, error))
        return false;
    JsonFile::Content content = JsonFile::readObject(path);
    const bool damaged =
        content.status == JsonFile::Status::Damaged || content.status == JsonFile::Status::Unreadable;
    if (merge(content.object) || damaged) {
        const QString backup = JsonFile::keepBackup(path, error);
        if (backup.isEmpty())
            return false;
        const QString what = damaged ? content.error : QStringLiteral("holding hooks of the wrong shape");
        SystemLog::instance().write(
            QStringLiteral("Korvane: %1 is %2; replacing it, the old file is kept as %3")
                .arg(path, what, backup));
    }
    const QByteArray bytes = JsonFile::serialize(content.object);
    return (content.status == JsonFile::Status::Object && bytes == content.bytes) ||
           JsonFile::writeAtomically(path, bytes, error);
}

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

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QString HookInstaller::scriptPath()
{
    return QDir::homePath() + QStringLiteral("/.cursor/hooks/signalwick.sh");
}

QString HookInstaller::cursorConfigPath()
{
    return QDir::homePath() + QStringLiteral("/.cursor/hooks.json");
}

QString HookInstaller::claudeSettingsPath()
{
    return QDir::homePath() + QStringLiteral("/.claude/settings.json");
}

bool HookInstaller::claudeAvailable()
{
    return exists(QDir::homePath() + QStringLiteral("/.claude"));
}

std::string HookInstaller::claudeCommand(const std::string& scriptPath)
{
    constexpr std::string_view literal =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,:@%=";
    if (!scriptPath.empty() && scriptPath.find_first_not_of(literal) == std::string::npos)
        return scriptPath;
    std::string quoted = "'";
    for (const char c : scriptPath)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + '\'';
}

bool HookInstaller::mergeCursorHooks(json& config)
{
    if (!config.is_object())
        config = json::object();
    if (!config.contains("version"))
        config["version"] = 1;
    bool dropped = false;
    json hooks = takeHooksObject(config, &dropped);
    for (const std::string_view event : kHookedEvents) {
        json entries = takeArray(hooks, event, &dropped);
        if (std::none_of(entries.begin(), entries.end(),
                         [](const json& e) { return runsCommand(e, kCursorCommand); })) {
            json entry = json::object();
            entry["command"] = std::string(kCursorCommand);
            entries.push_back(std::move(entry));
        }
        hooks[std::string(event)] = std::move(entries);
    }
    config["hooks"] = std::move(hooks);
    return dropped;
}

bool HookInstaller::mergeClaudeHooks(json& settings, const std::string& scriptPath)
{
    if (!settings.is_object())
        settings = json::object();
    const std::string command = claudeCommand(scriptPath);
    bool dropped = false;
    json hooks = takeHooksObject(settings, &dropped);
    for (const std::string_view event : kClaudeEvents) {
        json groups = takeArray(hooks, event, &dropped);
        bool installed = false;
        for (json& group : groups) {
            const auto it = group.find("hooks");
            if (it == group.end() || !isArrayOfObjects(*it))
                continue;
            for (json& entry : *it) {
                // Written before paths were quoted: the shell split it at the space.
                if (command != scriptPath && runsCommand(entry, scriptPath))
                    entry["command"] = command;
                installed = installed || runsCommand(entry, command);
            }
        }
        if (!installed) {
            json entry = json::object();
            entry["type"] = "command";
            entry["command"] = command;
            json group = json::object();
            group["hooks"] = json::array();
            group["hooks"].push_back(std::move(entry));
            groups.push_back(std::move(group));
        }
        hooks[std::string(event)] = std::move(groups);
    }
    settings["hooks"] = std::move(hooks);
    return dropped;
}

bool HookInstaller::mergeHooksJSON(QString* error)
{
    return mergeFile(cursorConfigPath(), &mergeCursorHooks, error);
}

bool HookInstaller::mergeClaudeSettings(QString* error)
{
    const QString dir = QDir::homePath() + QStringLiteral("/.claude");
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    const std::string script = scriptPath().toStdString();
    return mergeFile(
        claudeSettingsPath(), [&script](json& settings) { return mergeClaudeHooks(settings, script); },
        error);
}

bool HookInstaller::install()
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
    if (!setAsideDanglingLink(destination, &error))
        return fail(error);
    if (readAll(destination) != script && !JsonFile::writeAtomically(destination, script, &error))
        return fail(error);
    if ((QFile::permissions(destination) & 0x7077) != kScriptMode &&
        !QFile::setPermissions(destination, kScriptMode))
        return fail(QStringLiteral("cannot make %1 executable").arg(destination));
    makeStateFolderPrivate();

    if (!mergeHooksJSON(&error))
        return fail(error);
    if (claudeAvailable() && !mergeClaudeSettings(&error))
        return fail(error);
    if (CodexConfig::available() && !CodexConfig::install(destination, &error))
        return fail(error);
    if (GeminiConfig::available() && !GeminiConfig::install(destination, &error))
        return fail(error);
    qCDebug(lcHooks) << "hooks installed at" << destination;
    return true;
}

bool HookInstaller::isInstalled()
{
    if (!exists(scriptPath()))
        return false;
    const JsonFile::Content content = JsonFile::readObject(cursorConfigPath());
    if (content.status != JsonFile::Status::Object)
        return false;
    const auto hooks = content.object.find("hooks");
    if (hooks == content.object.end() || !hooks->is_object())
        return false;
    return std::all_of(kHookedEvents.begin(), kHookedEvents.end(), [&hooks](std::string_view event) {
        const auto entries = hooks->find(event);
        return entries != hooks->end() && isArrayOfObjects(*entries) &&
               std::any_of(entries->begin(), entries->end(),
                           [](const json& e) { return runsCommand(e, kCursorCommand); });
    });
}

} // namespace korvane
