#pragma once

#include "FuzzSupport.h"
#include "hooks/JsonFile.h"

#include <QByteArray>
#include <algorithm>
#include <nlohmann/json.hpp>

namespace korvane::fuzz {

using nlohmann::json;

inline bool isArrayOfObjects(const json& v)
{
    return v.is_array() && std::all_of(v.begin(), v.end(), [](const json& e) { return e.is_object(); });
}

// What both merges promise for any input: an object, written sorted, that parses
// back the same; the members outside "hooks" as they were, with `defaults` where
// absent; other events as they were; each watched event keeps its array of
// objects and gains `ours` unless `has` finds it there, or starts afresh with
// only `ours`; a second merge changes nothing.
template <typename Events, typename Has, typename Merge>
void checkMerge(const std::uint8_t* data, std::size_t size, const Events& events, const json& defaults,
                const json& ours, Has has, Merge merge)
{
    const json input = json::parse(data, data + size, nullptr, false);
    json merged = input;
    merge(merged);
    FUZZ_CHECK(merged.is_object());
    const QByteArray bytes = JsonFile::serialize(merged);
    FUZZ_CHECK(bytes.endsWith('\n') &&
               json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false) == merged);

    json expected = !input.is_discarded() && input.is_object() ? input : json::object();
    for (const auto& [key, value] : defaults.items()) {
        if (!expected.contains(key))
            expected[key] = value;
    }
    json hooks =
        expected.contains("hooks") && expected["hooks"].is_object() ? expected["hooks"] : json::object();
    for (const auto event : events) {
        json& array = hooks[std::string(event)];
        if (!isArrayOfObjects(array))
            array = json::array();
        if (std::none_of(array.begin(), array.end(), has))
            array.push_back(ours);
    }
    expected["hooks"] = hooks;
    FUZZ_CHECK(merged == expected);

    json twice = merged;
    merge(twice);
    FUZZ_CHECK(twice == merged);
}

} // namespace korvane::fuzz
