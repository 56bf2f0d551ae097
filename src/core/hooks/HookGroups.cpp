#include "hooks/HookGroups.h"

#include "hooks/JsonFile.h"
#include "platform/SystemLog.h"

#include <algorithm>

namespace korvane {

namespace {

using nlohmann::json;

bool runs(const json& group, const json& command)
{
    const auto it = group.find("hooks");
    return it != group.end() && it->is_array() && std::any_of(it->begin(), it->end(), [&](const json& h) {
               return h.is_object() && h.value("command", json()) == command;
           });
}

} // namespace

void HookGroups::merge(json& root, std::span<const std::string_view> events, const json& handler)
{
    if (!root.is_object())
        root = json::object();
    json& hooks = root["hooks"];
    if (!hooks.is_object())
        hooks = json::object();
    for (const std::string_view event : events) {
        json& groups = hooks[std::string(event)];
        // Entries that are not groups would make the tool drop the whole event.
        if (!groups.is_array() ||
            !std::all_of(groups.begin(), groups.end(), [](const json& g) { return g.is_object(); }))
            groups = json::array();
        if (std::none_of(groups.begin(), groups.end(),
                         [&](const json& g) { return runs(g, handler["command"]); }))
            groups.push_back(json{{"hooks", json::array({handler})}});
    }
}

bool HookGroups::mergeFile(const QString& path, std::span<const std::string_view> events, const json& handler,
                           bool comments, QString* error)
{
    JsonFile::Content content = JsonFile::readObject(path);
    if (content.status == JsonFile::Status::Damaged || content.status == JsonFile::Status::Unreadable) {
        json relaxed =
            comments ? json::parse(content.bytes.constBegin(), content.bytes.constEnd(), nullptr, false, true)
                     : json();
        const QString backup = JsonFile::keepBackup(path, error);
        if (backup.isEmpty())
            return false;
        if (relaxed.is_object()) {
            content.object = std::move(relaxed);
            SystemLog::instance().write(
                QStringLiteral(
                    "Korvane: %1 had comments, which a merge cannot keep; the file as it was is %2")
                    .arg(path, backup));
        } else {
            SystemLog::instance().write(
                QStringLiteral("Korvane: %1 is %2; replacing it, the old file is kept as %3")
                    .arg(path, content.error, backup));
        }
    }
    merge(content.object, events, handler);
    const QByteArray bytes = JsonFile::serialize(content.object);
    return bytes == content.bytes || JsonFile::writeAtomically(path, bytes, error);
}

} // namespace korvane
