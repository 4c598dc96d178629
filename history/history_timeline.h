#pragma once
// The History window's timeline: how many connections opened and how many bytes moved in
// each bar of a time range. Filled on the thread that reads the history.

#include <cstdint>
#include <vector>

class HistoryTimeline
{
public:
    HistoryTimeline() = default;
    // About `bars` bars over [since, until], each a whole number of minutes.
    HistoryTimeline(std::int64_t since, std::int64_t until, std::int64_t bars = 240);

    // A connection seen from firstSeen to lastSeen: opened in the bar of firstSeen when that
    // lies in the range; its bytes at last sight (< 0: not known) spread evenly over the
    // seconds it was seen, so that a long connection is not drawn as one spike.
    void add(
        std::int64_t firstSeen, std::int64_t lastSeen, std::int64_t bytesSent, std::int64_t bytesReceived);

    std::int64_t start() const { return m_start; }
    std::int64_t barSeconds() const { return m_barSeconds; }
    const std::vector<int>& opened() const { return m_opened; }
    const std::vector<double>& bytes() const { return m_bytes; }
    // Whether any connection's bytes were known: without, no bytes are drawn rather than zeros.
    bool bytesKnown() const { return m_bytesKnown; }

private:
    std::int64_t m_start = 0;
    std::int64_t m_barSeconds = 60;
    std::vector<int> m_opened;
    std::vector<double> m_bytes;
    bool m_bytesKnown = false;
};
