#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvane {

// Hands out one shared QString per distinct UTF-8 text, so that the workspace
// paths and conversation ids that every pass reads again are converted and
// allocated once, not once a second. A text that one round does not ask for is
// forgotten when the next round starts, so the pool stays as small as the
// state directory.
class StringPool {
public:
    // Equal to QString::fromUtf8(utf8).
    QString intern(std::string_view utf8);
    // Starts a new round: texts not asked for in the round before are dropped.
    void nextRound();
    std::size_t size() const { return m_texts.size(); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    struct Text {
        QString text;
        std::uint64_t lastRound;
    };
    std::unordered_map<std::string, Text, Hash, std::equal_to<>> m_texts;
    std::uint64_t m_round = 0;
};

} // namespace korvane
