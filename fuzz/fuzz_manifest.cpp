// The version manifest from the web site: whatever the body holds, decoding
// neither crashes nor accepts a manifest without a string "version", and what
// it accepts is exactly what the body said.
#include "FuzzSupport.h"
#include "update/ReleaseInfo.h"

#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const std::optional<ReleaseInfo> info = ReleaseInfo::decode(body);
    const json doc = json::parse(body.begin(), body.end(), nullptr, false);
    if (!info) {
        // Refused: so it was not an object with a string version and string-or-null extras.
        const bool acceptable =
            !doc.is_discarded() && doc.is_object() && doc.contains("version") && doc["version"].is_string() &&
            (!doc.contains("url") || doc["url"].is_null() || doc["url"].is_string()) &&
            (!doc.contains("notes") || doc["notes"].is_null() || doc["notes"].is_string());
        FUZZ_CHECK(!acceptable);
        return 0;
    }
    FUZZ_CHECK(!doc.is_discarded() && doc.is_object());
    FUZZ_CHECK(info->version == QString::fromStdString(doc.at("version").get<std::string>()));
    const auto optional = [&](const char* key, const std::optional<QString>& got) {
        if (!doc.contains(key) || doc.at(key).is_null())
            FUZZ_CHECK(!got);
        else
            FUZZ_CHECK(got && *got == QString::fromStdString(doc.at(key).get<std::string>()));
    };
    optional("url", info->url);
    optional("notes", info->notes);
    return 0;
}
