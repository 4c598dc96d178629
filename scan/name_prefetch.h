#pragma once
// Reverse look-ups made many at a time before a scan resolves its rows one by one:
// the rows then take their names in the same order as ever, but the waiting for
// names overlaps instead of adding up.

#include "platform/name_services.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
    // At most 64 look-ups in flight.
    static constexpr int kMaxInFlight = 64;
    // glibc's resolver gives up on a name server after 5 s and tries twice; a look-up
    // still unanswered by then is not waited for.
    static constexpr std::chrono::milliseconds kTimeLimit { 10000 };

    explicit NamePrefetch(NameServices& services, std::chrono::milliseconds timeLimit = kTimeLimit);
    // Joins the workers: a look-up still hanging holds this until the system answers.
    ~NamePrefetch() override;
    NamePrefetch(const NamePrefetch&) = delete;
    NamePrefetch& operator=(const NamePrefetch&) = delete;

    // Looks up every address concurrently and returns once all are answered or the time
    // limit has passed; answers of an earlier prefetch are forgotten.
    void prefetch(const std::vector<std::uint32_t>& addresses);

    std::string localHostName() override;
    // The prefetched answer; none for an address whose look-up outlived the limit; the
    // system's answer for any other.
    std::optional<std::string> hostByAddress(std::uint32_t networkOrderAddress) override;
    // IPv6 look-ups are not prefetched: the system's answer.
    std::optional<std::string> hostByAddress6(const std::array<std::uint8_t, 16>& address) override
    {
        return m_services.hostByAddress6(address);
    }
    std::optional<std::string> serviceByPort(std::uint16_t networkOrderPort, const char* protocol) override;

private:
    struct Job
    {
        std::uint64_t generation;
        std::uint32_t address;
    };
    void work();

    NameServices& m_services;
    const std::chrono::milliseconds m_timeLimit;

    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_answered;
    std::deque<Job> m_queue;
    std::vector<std::thread> m_workers;
    int m_idleWorkers = 0;
    bool m_stopping = false;
    std::uint64_t m_generation = 0;
    std::size_t m_pending = 0;
    std::unordered_map<std::uint32_t, std::optional<std::string>> m_answers;
    std::unordered_set<std::uint32_t> m_givenUp;
};
