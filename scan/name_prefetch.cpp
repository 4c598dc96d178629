#include "scan/name_prefetch.h"

#include <algorithm>

NamePrefetch::NamePrefetch(
    NameServices& services, std::chrono::milliseconds timeLimit, std::chrono::milliseconds rowsWithin)
    : m_services(services)
    , m_timeLimit(timeLimit)
    , m_rowsWithin(std::min(rowsWithin, timeLimit))
{
}

NamePrefetch::~NamePrefetch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_jobReady.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void NamePrefetch::setOnLateAnswers(std::function<void()> callback)
{
    std::lock_guard lock(m_mutex);
    m_onLateAnswers = std::move(callback);
}

void NamePrefetch::giveUpOverdue(Clock::time_point now)
{
    for (auto it = m_asked.begin(); it != m_asked.end();) {
        if (now - it->second < m_timeLimit) {
            ++it;
            continue;
        }
        // A worker may still wait in the system's call; its answer will be dropped.
        m_givenUp.insert(it->first);
        m_leftPending.erase(it->first);
        std::erase(m_queue, it->first);
        it = m_asked.erase(it);
    }
}

void NamePrefetch::prefetch(const std::vector<std::uint32_t>& addresses)
{
    std::unique_lock lock(m_mutex);
    const auto now = Clock::now();
    giveUpOverdue(now);
    // Answers and failures of addresses no longer asked for are forgotten.
    std::unordered_set<std::uint32_t> wanted(addresses.begin(), addresses.end());
    std::erase_if(m_answers, [&wanted](const auto& answer) { return !wanted.contains(answer.first); });
    std::erase_if(m_givenUp, [&wanted](std::uint32_t address) { return !wanted.contains(address); });
    m_leftPending.clear();
    for (std::uint32_t address : wanted) {
        if (m_answers.contains(address) || m_givenUp.contains(address) || m_asked.contains(address))
            continue; // answered, failed, or still being looked up for an earlier scan
        m_asked.emplace(address, now);
        m_queue.push_back(address);
    }
    // Workers are started as needed and kept for later scans; one still stuck in a
    // look-up of an earlier scan counts against the bound.
    while (m_workers.size() < static_cast<std::size_t>(kMaxInFlight)
        && static_cast<std::size_t>(m_idleWorkers) < m_queue.size()) {
        m_workers.emplace_back([this] { work(); });
        ++m_idleWorkers;
    }
    m_jobReady.notify_all();
    const auto unanswered = [this, &wanted] {
        return std::count_if(wanted.begin(), wanted.end(),
            [this](std::uint32_t address) { return m_asked.contains(address); });
    };
    m_answered.wait_for(lock, m_rowsWithin, [&unanswered] { return unanswered() == 0; });
    giveUpOverdue(Clock::now());
    for (std::uint32_t address : wanted) {
        if (m_asked.contains(address))
            m_leftPending.insert(address);
    }
}

bool NamePrefetch::pending(std::uint32_t networkOrderAddress) const
{
    std::lock_guard lock(m_mutex);
    return m_leftPending.contains(networkOrderAddress);
}

void NamePrefetch::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_jobReady.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        const std::uint32_t address = m_queue.front();
        m_queue.pop_front();
        --m_idleWorkers;
        lock.unlock();
        std::optional<std::string> answer = m_services.hostByAddress(address);
        lock.lock();
        ++m_idleWorkers;
        // An answer to a look-up given up meanwhile is dropped.
        if (m_asked.erase(address) == 0)
            continue;
        m_answers[address] = std::move(answer);
        m_answered.notify_all();
        if (m_leftPending.erase(address) == 1 && m_leftPending.empty() && m_onLateAnswers) {
            const std::function<void()> tell = m_onLateAnswers;
            lock.unlock();
            tell();
            lock.lock();
        }
    }
}

std::string NamePrefetch::localHostName()
{
    return m_services.localHostName();
}

std::optional<std::string> NamePrefetch::hostByAddress(std::uint32_t networkOrderAddress)
{
    {
        std::lock_guard lock(m_mutex);
        // Taken once: the resolver caches it, and an address asked again after the cache
        // forgot it is looked up again.
        if (auto found = m_answers.extract(networkOrderAddress))
            return std::move(found.mapped());
        if (m_givenUp.erase(networkOrderAddress) == 1)
            return std::nullopt;
    }
    return m_services.hostByAddress(networkOrderAddress);
}

std::optional<std::string> NamePrefetch::serviceByPort(std::uint16_t networkOrderPort, const char* protocol)
{
    return m_services.serviceByPort(networkOrderPort, protocol);
}
