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

// The event's array when it is one of objects only; anything else starts afresh.
json takeArray(const json& hooks, std::string_view event)
{
    const auto it = hooks.find(event);
    if (it != hooks.end() && isArrayOfObjects(*it))
        return *it;
    return json::array();
}

json takeHooksObject(const json& root)
{
    const auto it = root.find("hooks");
    if (it != root.end() && it->is_object())
        return *it;
    return json::object();
}

// Reads a configuration file as an object. A file that exists but cannot be
// used is kept aside before it is replaced, since users put work into them.
bool readForMerge(const QString& path, json& object, QString* error)
{
    JsonFile::Content content = JsonFile::readObject(path);
    if (content.status == JsonFile::Status::Damaged || content.status == JsonFile::Status::Unreadable) {
        const QString backup = JsonFile::keepBackup(path, error);
        if (backup.isEmpty())
            return false;
        SystemLog::instance().write(
            QStringLiteral("Korvane: %1 is %2; replacing it, the old file is kept as %3")
                .arg(path, content.error, backup));
    }
    object = std::move(content.object);
    return true;
}

bool writeConfig(const QString& path, const json& object, QString* error)
{
    return JsonFile::writeAtomically(path, JsonFile::serialize(object), error);
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

void HookInstaller::mergeCursorHooks(json& config)
{
    if (!config.is_object())
        config = json::object();
    if (!config.contains("version"))
        config["version"] = 1;
    json hooks = takeHooksObject(config);
    for (const std::string_view event : kHookedEvents) {
        json entries = takeArray(hooks, event);
        if (std::none_of(entries.begin(), entries.end(),
                         [](const json& e) { return runsCommand(e, kCursorCommand); })) {
            json entry = json::object();
            entry["command"] = std::string(kCursorCommand);
            entries.push_back(std::move(entry));
        }
        hooks[std::string(event)] = std::move(entries);
    }
    config["hooks"] = std::move(hooks);
}

void HookInstaller::mergeClaudeHooks(json& settings, const std::string& command)
{
    if (!settings.is_object())
        settings = json::object();
    json hooks = takeHooksObject(settings);
    const auto groupRuns = [&command](const json& group) {
        const auto it = group.find("hooks");
        return it != group.end() && isArrayOfObjects(*it) &&
               std::any_of(it->begin(), it->end(),
                           [&command](const json& e) { return runsCommand(e, command); });
    };
    for (const std::string_view event : kClaudeEvents) {
        json groups = takeArray(hooks, event);
        if (std::none_of(groups.begin(), groups.end(), groupRuns)) {
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
}

bool HookInstaller::mergeHooksJSON(QString* error)
{
    const QString path = cursorConfigPath();
    json config;
    if (!readForMerge(path, config, error))
        return false;
    mergeCursorHooks(config);
    return writeConfig(path, config, error);
}

bool HookInstaller::mergeClaudeSettings(QString* error)
{
    const QString dir = QDir::homePath() + QStringLiteral("/.claude");
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    const QString path = claudeSettingsPath();
    json settings;
    if (!readForMerge(path, settings, error))
        return false;
    mergeClaudeHooks(settings, scriptPath().toStdString());
    return writeConfig(path, settings, error);
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
    if (!JsonFile::writeAtomically(destination, script, &error))
        return fail(error);
    if (!QFile::setPermissions(destination, kScriptMode))
        return fail(QStringLiteral("cannot make %1 executable").arg(destination));

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
