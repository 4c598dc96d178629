#include "scan/name_prefetch.h"

NamePrefetch::NamePrefetch(NameServices& services, std::chrono::milliseconds timeLimit)
    : m_services(services)
    , m_timeLimit(timeLimit)
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

void NamePrefetch::prefetch(const std::vector<std::uint32_t>& addresses)
{
    std::unique_lock lock(m_mutex);
    ++m_generation;
    m_answers.clear();
    m_givenUp.clear();
    m_queue.clear(); // jobs of an earlier prefetch nobody waits for any more
    std::unordered_set<std::uint32_t> queued;
    for (std::uint32_t address : addresses) {
        if (queued.insert(address).second)
            m_queue.push_back(Job { m_generation, address });
    }
    m_pending = m_queue.size();
    if (m_pending == 0)
        return;
    // Workers are started as needed and kept for later scans; one still stuck in a
    // look-up of an earlier scan counts against the bound.
    while (m_workers.size() < static_cast<std::size_t>(kMaxInFlight)
        && static_cast<std::size_t>(m_idleWorkers) < m_queue.size()) {
        m_workers.emplace_back([this] { work(); });
        ++m_idleWorkers;
    }
    m_jobReady.notify_all();
    m_answered.wait_for(lock, m_timeLimit, [this] { return m_pending == 0; });
    if (m_pending == 0)
        return;
    for (const Job& job : m_queue)
        m_givenUp.insert(job.address);
    m_queue.clear();
    for (std::uint32_t address : queued) {
        if (!m_answers.contains(address))
            m_givenUp.insert(address);
    }
    m_pending = 0;
}

void NamePrefetch::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_jobReady.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        const Job job = m_queue.front();
        m_queue.pop_front();
        --m_idleWorkers;
        lock.unlock();
        std::optional<std::string> answer = m_services.hostByAddress(job.address);
        lock.lock();
        ++m_idleWorkers;
        // A late answer to a prefetch that gave up on it is dropped: the scan has moved on.
        if (job.generation == m_generation && !m_givenUp.contains(job.address)) {
            m_answers.emplace(job.address, std::move(answer));
            if (--m_pending == 0)
                m_answered.notify_all();
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
        if (const auto found = m_answers.find(networkOrderAddress); found != m_answers.end())
            return found->second;
        if (m_givenUp.contains(networkOrderAddress))
            return std::nullopt;
    }
    return m_services.hostByAddress(networkOrderAddress);
}

std::optional<std::string> NamePrefetch::serviceByPort(std::uint16_t networkOrderPort, const char* protocol)
{
    return m_services.serviceByPort(networkOrderPort, protocol);
}
