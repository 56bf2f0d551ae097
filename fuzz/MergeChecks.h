#pragma once

#include "FuzzSupport.h"
#include "hooks/JsonFile.h"

#include <QByteArray>
#include <nlohmann/json.hpp>
#include <string>

namespace korvane::fuzz {

using nlohmann::json;

inline bool isArrayOfObjects(const json& v)
{
    if (!v.is_array())
        return false;
    for (const json& e : v) {
        if (!e.is_object())
            return false;
    }
    return true;
}

inline bool runsCommand(const json& entry, const std::string& command)
{
    const auto it = entry.find("command");
    return it != entry.end() && it->is_string() && it->get_ref<const std::string&>() == command;
}

// The merged document as the file will hold it: serialized, it parses back to
// the same value with every object's keys sorted.
inline void checkWrittenForm(const json& merged)
{
    const QByteArray bytes = JsonFile::serialize(merged);
    FUZZ_CHECK(bytes.endsWith('\n'));
    const json again = json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    FUZZ_CHECK(!again.is_discarded() && again.is_object());
    FUZZ_CHECK(again == merged);
}

// The members of `input` outside the touched names come out unchanged, and a
// touched array that was kept comes out as itself, perhaps with one entry more.
// Returns the entries appended (0 or 1), or -1 when the array was replaced.
inline int appendedTo(const json& before, const json& after)
{
    FUZZ_CHECK(after.is_array());
    if (!isArrayOfObjects(before))
        return -1;
    FUZZ_CHECK(after.size() == before.size() || after.size() == before.size() + 1);
    for (std::size_t i = 0; i < before.size(); ++i)
        FUZZ_CHECK(after[i] == before[i]);
    return int(after.size() - before.size());
}

} // namespace korvane::fuzz
