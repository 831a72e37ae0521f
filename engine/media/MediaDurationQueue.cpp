#include "MediaDurationQueue.h"

#include <cmath>

bool CMediaDurationQueue::Add(const std::string& name)
{
    if (m_index.count(name))
        return false;
    ++m_lastId;
    m_pending[m_lastId] = Entry{name, 0};
    m_index[name] = m_lastId;
    return true;
}

std::string CMediaDurationQueue::TakeNext()
{
    if (m_pending.empty())
        return std::string();
    Entry& first = m_pending.begin()->second;
    ++first.tries;
    return first.name;
}

void CMediaDurationQueue::Store(const std::string& name, double milliseconds)
{
    auto index = m_index.find(name);
    if (index == m_index.end())
        return;
    auto entry = m_pending.find(index->second);
    if (entry == m_pending.end())
        return;
    if (std::fabs(milliseconds) < 0.1 && entry->second.tries < 2) {
        const Entry again = entry->second;
        m_pending.erase(entry);
        ++m_lastId;
        m_pending[m_lastId] = again;
        index->second = m_lastId;
        return;
    }
    m_durations[name] = milliseconds;
    m_pending.erase(entry);
    m_index.erase(index);
}

std::vector<std::pair<int, std::string>> CMediaDurationQueue::Waiting() const
{
    std::vector<std::pair<int, std::string>> waiting;
    for (const auto& entry : m_pending)
        waiting.emplace_back(entry.first, entry.second.name);
    return waiting;
}
