#include "status/StringPool.h"

namespace korvane {

QString StringPool::intern(std::string_view utf8)
{
    if (const auto it = m_texts.find(utf8); it != m_texts.end()) {
        it->second.lastRound = m_round;
        return it->second.text;
    }
    QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    m_texts.emplace(std::string(utf8), Text{text, m_round});
    return text;
}

void StringPool::nextRound()
{
    ++m_round;
    std::erase_if(m_texts, [this](const auto& entry) { return entry.second.lastRound + 1 < m_round; });
}

} // namespace korvane
