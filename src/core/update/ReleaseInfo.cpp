#include "update/ReleaseInfo.h"

#include <nlohmann/json.hpp>

namespace korvane {

namespace {

// nullopt in the outer optional: the member has the wrong type.
std::optional<std::optional<QString>> optionalString(const nlohmann::json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return std::optional<QString>();
    if (!it->is_string())
        return std::nullopt;
    return std::optional<QString>(QString::fromStdString(it->get_ref<const std::string&>()));
}

} // namespace

std::optional<ReleaseInfo> ReleaseInfo::decode(std::string_view json)
{
    const nlohmann::json doc = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        return std::nullopt;
    const auto version = doc.find("version");
    if (version == doc.end() || !version->is_string())
        return std::nullopt;
    const auto url = optionalString(doc, "url");
    const auto notes = optionalString(doc, "notes");
    if (!url || !notes)
        return std::nullopt;
    return ReleaseInfo{QString::fromStdString(version->get_ref<const std::string&>()), *url, *notes};
}

} // namespace korvane
