#pragma once

#include "FuzzSupport.h"
#include "hooks/JsonFile.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace korvane::fuzz {

using nlohmann::json;

// What both merges promise for any input: the object as it was, `defaults` where
// absent, and under "hooks" each watched event's array of objects (anything else
// starts afresh, and the merge says so) with `ours` appended unless `has` finds
// it; written sorted, it parses back the same, and a second merge changes nothing.
template <typename Events, typename Has, typename Merge>
void checkMerge(const std::uint8_t* data, std::size_t size, const Events& events, const json& defaults,
                const json& ours, Has has, Merge merge)
{
    const json input = json::parse(data, data + size, nullptr, false);
    json expected = input.is_object() ? input : json::object();
    for (const auto& [key, value] : defaults.items())
        expected.emplace(key, value);
    bool dropped = expected.contains("hooks") && !expected["hooks"].is_object();
    if (!expected["hooks"].is_object())
        expected["hooks"] = json::object();
    for (const auto event : events) {
        const bool present = expected["hooks"].contains(std::string(event));
        json& array = expected["hooks"][std::string(event)];
        if (!array.is_array() ||
            !std::all_of(array.begin(), array.end(), [](const json& e) { return e.is_object(); })) {
            dropped = dropped || present;
            array = json::array();
        }
        if (std::none_of(array.begin(), array.end(), has))
            array.push_back(ours);
    }
    json merged = input;
    FUZZ_CHECK(merge(merged) == dropped && merged == expected);
    const QByteArray bytes = JsonFile::serialize(merged);
    FUZZ_CHECK(json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false) == merged);
    FUZZ_CHECK(!merge(merged) && merged == expected);
}

} // namespace korvane::fuzz
