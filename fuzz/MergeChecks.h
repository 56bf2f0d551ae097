#pragma once

#include "FuzzSupport.h"
#include "hooks/JsonFile.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace korvane::fuzz {

using nlohmann::json;

// What the merge promises for any input: the object as it was, `defaults` where
// absent, and under "hooks" each watched event's array of objects (anything else
// starts afresh, and the merge says so), its entries of earlier versions
// (`older`, in the handlers `handlers` visits) upgraded to `command`, with `ours`
// appended unless `has` finds it, and ours given the event's `extras`; written
// sorted, it parses back the same, and a second merge changes nothing.
template <typename Events, typename Handlers, typename Has, typename Merge>
void checkMerge(const std::uint8_t* data, std::size_t size, const Events& events, const json& defaults,
                const json& ours, const std::vector<std::string>& older, Handlers handlers, Has has,
                Merge merge, const json& extras = json::object())
{
    const json input = json::parse(data, data + size, nullptr, false);
    json expected = input.is_object() ? input : json::object();
    for (const auto& [key, value] : defaults.items())
        expected.emplace(key, value);
    bool dropped = expected.contains("hooks") && !expected["hooks"].is_object();
    if (!expected["hooks"].is_object())
        expected["hooks"] = json::object();
    for (const auto& event : events) {
        const bool present = expected["hooks"].contains(std::string(event));
        json& array = expected["hooks"][std::string(event)];
        if (!array.is_array() ||
            !std::all_of(array.begin(), array.end(), [](const json& e) { return e.is_object(); })) {
            dropped = dropped || present;
            array = json::array();
        }
        bool found = false;
        json mine = ours; // with the members its entry gets at this event, which its old entries get too
        json& entry = mine.contains("command") ? mine : mine["hooks"][0];
        const json extra = extras.value(std::string(event), json::object());
        entry.update(extra);
        handlers(array, [&](json& handler) {
            const json command = handler.value("command", json());
            const bool old = command.is_string() &&
                             std::find(older.begin(), older.end(), command.get<std::string>()) != older.end();
            found = found || old;
            if (old || command == entry["command"])
                handler.update(extra), handler["command"] = entry["command"];
        });
        if (!found && std::none_of(array.begin(), array.end(), has))
            array.push_back(mine);
    }
    json merged = input;
    FUZZ_CHECK(merge(merged) == dropped && merged == expected);
    const QByteArray bytes = JsonFile::serialize(merged);
    FUZZ_CHECK(json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false) == merged);
    FUZZ_CHECK(!merge(merged) && merged == expected);
}

} // namespace korvane::fuzz
