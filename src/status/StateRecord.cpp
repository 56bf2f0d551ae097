#include "status/StateRecord.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace korvane {

namespace {

// absent or null -> nullopt (ok); string -> value; anything else -> failure.
bool optionalString(const nlohmann::json& object, const char* key, std::optional<QString>& out)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return true;
    if (!it->is_string())
        return false;
    out = QString::fromStdString(it->get_ref<const std::string&>());
    return true;
}

} // namespace

std::optional<StateRecord> StateRecord::decode(std::string_view json)
{
    const nlohmann::json doc = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return std::nullopt;

    StateRecord record;
    const auto state = doc.find("state");
    if (state == doc.end() || !state->is_string())
        return std::nullopt;
    record.state = QString::fromStdString(state->get_ref<const std::string&>());

    const auto ts = doc.find("ts");
    if (ts == doc.end() || !ts->is_number())
        return std::nullopt;
    record.ts = ts->get<double>();
    if (!std::isfinite(record.ts))
        return std::nullopt;

    if (!optionalString(doc, "workspace", record.workspace) ||
        !optionalString(doc, "conversation_id", record.conversationId))
        return std::nullopt;
    return record;
}

QString StateRecord::workspaceKey() const
{
    return workspace && !workspace->isEmpty() ? *workspace : QString();
}

QString StateRecord::conversationKey(const QString& fileBaseName) const
{
    return conversationId && !conversationId->isEmpty() ? *conversationId : fileBaseName;
}

} // namespace korvane
