#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string_view>

namespace korvane {

// The version manifest published on the product web site.
struct ReleaseInfo {
    QString version;
    std::optional<QString> url;
    std::optional<QString> notes;

    // Strict: one JSON object whose "version" is a string and whose "url" and
    // "notes" are absent, null or strings. Other members are ignored; anything
    // else (also a number where a string belongs) is nullopt.
    static std::optional<ReleaseInfo> decode(std::string_view json);
    static std::optional<ReleaseInfo> decode(const QByteArray& json)
    {
        return decode(std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
    }
};

} // namespace korvane
