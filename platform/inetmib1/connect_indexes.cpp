#include "platform/inetmib1/connect_indexes.h"

#include <unordered_set>

std::uint32_t ConnectIndexes::indexOf(std::uint64_t cookie, Clock::time_point now)
{
    const auto [at, added] = m_known.try_emplace(cookie, Known { m_last + 1, now });
    if (added)
        ++m_last;
    return at->second.index;
}

std::uint32_t ConnectIndexes::secondsSinceSeen(std::uint64_t cookie, Clock::time_point now) const
{
    const auto at = m_known.find(cookie);
    if (at == m_known.end())
        return 0;
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(now - at->second.firstSeen).count());
}

void ConnectIndexes::keepOnly(std::span<const std::uint64_t> cookies)
{
    const std::unordered_set<std::uint64_t> alive(cookies.begin(), cookies.end());
    std::erase_if(m_known, [&alive](const auto& entry) { return !alive.contains(entry.first); });
}
