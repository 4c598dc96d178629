#pragma once
// tcpEStatsConnectIndex for each connection: given at first sight, kept for the connection's
// whole life, and never given again while the agent is loaded. The kernel's socket cookie,
// unique since boot, names a connection.

#include <chrono>
#include <cstdint>
#include <span>
#include <unordered_map>

class ConnectIndexes
{
public:
    using Clock = std::chrono::steady_clock;

    // The connection's index, a new one if it was not seen before.
    std::uint32_t indexOf(std::uint64_t cookie, Clock::time_point now = Clock::now());
    // Whole seconds since the connection was first seen; 0 for one never seen.
    std::uint32_t secondsSinceSeen(std::uint64_t cookie, Clock::time_point now = Clock::now()) const;
    // Forgets every connection not among cookies: they are closed, and their index goes with them.
    void keepOnly(std::span<const std::uint64_t> cookies);
    std::size_t size() const { return m_known.size(); }

private:
    struct Known
    {
        std::uint32_t index;
        Clock::time_point firstSeen;
    };
    std::unordered_map<std::uint64_t, Known> m_known;
    std::uint32_t m_last = 0;
};
