#include "status/StringPool.h"

namespace korvane {

QString StringPool::intern(std::string_view utf8)
{
    if (const auto it = m_current.find(utf8); it != m_current.end())
        return it->second;
    if (const auto it = m_previous.find(utf8); it != m_previous.end())
        return m_current.insert(m_previous.extract(it)).position->second;
    QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    m_current.emplace(std::string(utf8), text);
    return text;
}

void StringPool::nextRound()
{
    m_previous.clear();
    m_previous.swap(m_current);
}

} // namespace korvane
