#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvane {

// Hands out one shared QString per distinct UTF-8 text, so that the workspace
// paths and conversation ids that every pass reads again are converted and
// allocated once, not once a second. What one round does not ask for is
// forgotten at the end of the next, so the pool stays as small as the state
// directory.
class StringPool {
public:
    // Equal to QString::fromUtf8(utf8).
    QString intern(std::string_view utf8);
    // Starts a new round: texts not asked for since the last call are dropped.
    void nextRound();
    std::size_t size() const { return m_current.size() + m_previous.size(); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Map = std::unordered_map<std::string, QString, Hash, std::equal_to<>>;
    Map m_current;
    Map m_previous;
};

} // namespace korvane
