#include "history/history_timeline.h"

#include <algorithm>

HistoryTimeline::HistoryTimeline(std::int64_t since, std::int64_t until, std::int64_t bars)
    : m_start(since)
    , m_barSeconds(
          std::max<std::int64_t>(1, ((until - since) / std::max<std::int64_t>(1, bars) + 59) / 60) * 60)
{
    const std::size_t count = std::size_t(std::max<std::int64_t>(0, until - since) / m_barSeconds + 1);
    m_opened.assign(count, 0);
    m_bytes.assign(count, 0.0);
}

void HistoryTimeline::add(
    std::int64_t firstSeen, std::int64_t lastSeen, std::int64_t bytesSent, std::int64_t bytesReceived)
{
    const std::int64_t end = m_start + std::int64_t(m_opened.size()) * m_barSeconds;
    if (firstSeen >= m_start && firstSeen < end)
        ++m_opened[std::size_t((firstSeen - m_start) / m_barSeconds)];
    if (bytesSent < 0 && bytesReceived < 0)
        return;
    m_bytesKnown = true;
    const double bytes
        = double(std::max<std::int64_t>(bytesSent, 0) + std::max<std::int64_t>(bytesReceived, 0));
    // The seconds [firstSeen, lastSeen] inclusive: a connection seen once has all its bytes in that second.
    const std::int64_t lifeEnd = std::max(lastSeen, firstSeen) + 1;
    const double perSecond = bytes / double(lifeEnd - firstSeen);
    const std::int64_t from = std::max(firstSeen, m_start);
    const std::int64_t to = std::min(lifeEnd, end);
    for (std::int64_t bar = (from - m_start) / m_barSeconds; from < to && bar * m_barSeconds + m_start < to;
         ++bar) {
        const std::int64_t barStart = m_start + bar * m_barSeconds;
        const std::int64_t seconds = std::min(to, barStart + m_barSeconds) - std::max(from, barStart);
        m_bytes[std::size_t(bar)] += perSecond * double(seconds);
    }
}
