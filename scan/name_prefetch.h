#pragma once
// Reverse look-ups made many at a time before a scan resolves its rows one by one:
// the rows then take their names in the same order as ever, but the waiting for
// names overlaps instead of adding up. A scan waits for them only so long: a name still
// pending then is shown as its address, and comes in a later scan.

#include "platform/name_services.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class NamePrefetch final : public NameServices
{
public:
    using Clock = std::chrono::steady_clock;

    // At most 64 look-ups in flight.
    static constexpr int kMaxInFlight = 64;
    // glibc's resolver gives up on a name server after 5 s and tries twice; a look-up
    // still unanswered by then has failed, as one that found no name.
    static constexpr std::chrono::milliseconds kTimeLimit { 10000 };

    // A prefetch returns after rowsWithin at most; the look-ups go on up to timeLimit.
    explicit NamePrefetch(NameServices& services, std::chrono::milliseconds timeLimit = kTimeLimit,
        std::chrono::milliseconds rowsWithin = kTimeLimit);
    // Joins the workers: a look-up still hanging holds this until the system answers.
    ~NamePrefetch() override;
    NamePrefetch(const NamePrefetch&) = delete;
    NamePrefetch& operator=(const NamePrefetch&) = delete;

    // Looks up every address concurrently and returns once all are answered or rowsWithin
    // has passed. Answers that came in after an earlier prefetch returned are used.
    void prefetch(const std::vector<std::uint32_t>& addresses);
    // True for an address of the last prefetch whose look-up has not ended yet.
    bool pending(std::uint32_t networkOrderAddress) const;
    // Called on a worker thread when the last look-up a prefetch left pending has ended.
    void setOnLateAnswers(std::function<void()> callback);

    std::string localHostName() override;
    // The prefetched answer; none for an address whose look-up outlived the limit; the
    // system's answer for any other. Never asked for a pending address.
    std::optional<std::string> hostByAddress(std::uint32_t networkOrderAddress) override;
    // IPv6 look-ups are not prefetched: the system's answer.
    std::optional<std::string> hostByAddress6(const std::array<std::uint8_t, 16>& address) override
    {
        return m_services.hostByAddress6(address);
    }
    std::optional<std::string> serviceByPort(std::uint16_t networkOrderPort, const char* protocol) override;

private:
    void work();
    void giveUpOverdue(Clock::time_point now); // with m_mutex held

    NameServices& m_services;
    const std::chrono::milliseconds m_timeLimit;
    const std::chrono::milliseconds m_rowsWithin;

    mutable std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_answered;
    std::deque<std::uint32_t> m_queue;
    std::vector<std::thread> m_workers;
    int m_idleWorkers = 0;
    bool m_stopping = false;
    // Every address asked for and not answered yet, with when it was first asked.
    std::unordered_map<std::uint32_t, Clock::time_point> m_asked;
    // The answers not yet taken by a scan; they stay until the next prefetch.
    std::unordered_map<std::uint32_t, std::optional<std::string>> m_answers;
    std::unordered_set<std::uint32_t> m_givenUp;
    // The last prefetch's addresses still unanswered when it returned.
    std::unordered_set<std::uint32_t> m_leftPending;
    std::function<void()> m_onLateAnswers;
};
