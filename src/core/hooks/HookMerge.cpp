#include "hooks/HookMerge.h"

#include "hooks/JsonFile.h"
#include "io/AtomicFile.h"
#include "platform/SystemLog.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace korvane {

namespace {

using nlohmann::json;

bool isArrayOfObjects(const json& value)
{
    return value.is_array() &&
           std::all_of(value.begin(), value.end(), [](const json& e) { return e.is_object(); });
}

std::string commandOf(const json& entry)
{
    const auto it = entry.find("command");
    return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Korvane's entries in one event: the handlers themselves, or those inside
// groups (a group whose "hooks" is not a list of objects is the user's business).
template <typename Json, typename Visit>
void forEachEntry(Json& entries, HookLayout::Shape shape, Visit visit)
{
    for (auto& item : entries) {
        if (shape == HookLayout::Shape::Entries) {
            visit(item);
            continue;
        }
        const auto it = item.find("hooks");
        if (it == item.end() || !isArrayOfObjects(*it))
            continue;
        for (auto& handler : *it)
            visit(handler);
    }
}

bool isOlder(const std::string& command, const HookMerge::Entry& entry)
{
    return std::find(entry.older.begin(), entry.older.end(), command) != entry.older.end();
}

// A handler of Korvane's: this version's command or an earlier one's.
bool isOurs(const json& handler, const HookMerge::Entry& entry)
{
    const std::string command = commandOf(handler);
    return command == entry.command || isOlder(command, entry);
}

} // namespace

bool HookMerge::merge(json& root, std::span<const std::string> events, const HookLayout& layout,
                      const Entry& entry)
{
    if (!root.is_object())
        root = json::object();
    for (const auto& [key, value] : layout.defaults.items())
        root.emplace(key, value);
    bool dropped = root.contains("hooks") && !root["hooks"].is_object();
    json& hooks = root["hooks"];
    if (!hooks.is_object())
        hooks = json::object();
    for (const std::string& event : events) {
        const bool present = hooks.contains(event);
        json& entries = hooks[event];
        // Anything but a list of objects makes the agent drop the whole event.
        if (!isArrayOfObjects(entries)) {
            dropped = dropped || present;
            entries = json::array();
        }
        bool installed = false;
        const json extra = layout.eventEntry.value(event, json::object());
        forEachEntry(entries, layout.shape, [&](json& handler) {
            const std::string command = commandOf(handler);
            if (layout.upgradeOlder && command != entry.command && isOlder(command, entry))
                handler["command"] = entry.command;
            const bool ours = isOurs(handler, entry);
            if (ours && layout.upgradeOlder)
                handler.update(extra);
            installed = installed || ours;
        });
        if (installed)
            continue;
        json ours = layout.entry;
        ours.update(extra);
        ours["command"] = entry.command;
        entries.push_back(layout.shape == HookLayout::Shape::Entries ? std::move(ours)
                                                                     : json{{"hooks", json::array({ours})}});
    }
    return dropped;
}

bool HookMerge::withdraw(json& root, std::span<const std::string> events, const HookLayout& layout,
                         const Entry& entry)
{
    const auto hooks = root.find("hooks");
    if (hooks == root.end() || !hooks->is_object())
        return false;
    const auto ours = [&](const json& handler) { return isOurs(handler, entry); };
    bool taken = false;
    for (const std::string& event : events) {
        const auto entries = hooks->find(event);
        if (entries == hooks->end() || !isArrayOfObjects(*entries))
            continue;
        const std::size_t before = entries->size();
        if (layout.shape == HookLayout::Shape::Groups) {
            for (json& group : *entries) {
                const auto handlers = group.find("hooks");
                if (handlers == group.end() || !isArrayOfObjects(*handlers))
                    continue;
                const std::size_t had = handlers->size();
                handlers->erase(std::remove_if(handlers->begin(), handlers->end(), ours), handlers->end());
                taken = taken || handlers->size() < had;
                if (handlers->size() < had && handlers->empty() && group.size() == 1)
                    group = json(); // marked: the group held Korvane's entry alone (a matcher of the user's
                                    // stays)
            }
        }
        entries->erase(std::remove_if(entries->begin(), entries->end(),
                                      [&](const json& item) {
                                          return item.is_null() ||
                                                 (layout.shape == HookLayout::Shape::Entries && ours(item));
                                      }),
                       entries->end());
        taken = taken || entries->size() < before;
        if (entries->empty() && before > 0)
            hooks->erase(entries);
    }
    return taken;
}

bool HookMerge::isMerged(const json& root, std::span<const std::string> events, const HookLayout& layout,
                         const Entry& entry)
{
    const auto hooks = root.find("hooks");
    if (hooks == root.end() || !hooks->is_object())
        return false;
    return std::all_of(events.begin(), events.end(), [&](const std::string& event) {
        const auto entries = hooks->find(event);
        if (entries == hooks->end() || !isArrayOfObjects(*entries))
            return false;
        bool found = false;
        forEachEntry(*entries, layout.shape,
                     [&](const json& handler) { found = found || isOurs(handler, entry); });
        return found;
    });
}

bool HookMerge::setAsideDanglingLink(const QString& path, QString* error)
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

bool HookMerge::mergeFile(const QString& path, std::span<const std::string> events, const HookLayout& layout,
                          const Entry& entry, QString* error, std::span<const std::string> withdrawn)
{
    if (!setAsideDanglingLink(path, error))
        return false;
    JsonFile::Content content = JsonFile::readObject(path);
    const bool damaged =
        content.status == JsonFile::Status::Damaged || content.status == JsonFile::Status::Unreadable;
    // A file the agent reads with comments keeps its members; the comments stay in the copy.
    const json relaxed =
        damaged && layout.comments
            ? json::parse(content.bytes.constBegin(), content.bytes.constEnd(), nullptr, false, true)
            : json();
    if (relaxed.is_object())
        content.object = relaxed;
    const bool dropped = merge(content.object, events, layout, entry);
    withdraw(content.object, withdrawn, layout, entry);
    if (damaged || dropped) {
        const QString backup = JsonFile::keepBackup(path, error);
        if (backup.isEmpty())
            return false;
        const QString what = relaxed.is_object() && !dropped
                                 ? QStringLiteral("holding comments, which a merge cannot keep")
                             : damaged ? content.error
                                       : QStringLiteral("holding hooks of the wrong shape");
        SystemLog::instance().write(
            QStringLiteral("Korvane: %1 is %2; replacing it, the old file is kept as %3")
                .arg(path, what, backup));
    }
    const QByteArray bytes = JsonFile::serialize(content.object);
    return (content.status == JsonFile::Status::Object && bytes == content.bytes) ||
           AtomicFile::write(path, bytes, error);
}

} // namespace korvane
