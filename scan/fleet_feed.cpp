#include "scan/fleet_feed.h"

#include <algorithm>

FleetFeed::FleetFeed(std::vector<FleetPoller::Agent> agents, int intervalMs)
    : m_agents(std::move(agents))
    , m_intervalMs(intervalMs)
    , m_computers(m_agents.size())
{
    for (std::size_t i = 0; i < m_agents.size(); ++i)
        m_computers[i].peer = m_agents[i].peer;
    AgentPollRequest request;
    request.endpoints = request.addresses = true;
    m_thread = std::thread([this, request, intervalMs] {
        watchRemoteFleet(m_agents, request, std::max(intervalMs, 500), m_stop,
            [this](std::size_t agent, const AgentPollResult& result, const AgentStatus& status) {
                // Copied outside the lock: a scan taking a snapshot never waits on 200 rows' copy.
                auto good = result.ok ? std::make_shared<const AgentPollResult>(result) : nullptr;
                const std::lock_guard lock(m_mutex);
                Computer& computer = m_computers[agent];
                if (good)
                    computer.lastGood = std::move(good);
                computer.status = status;
                if (m_listener)
                    m_listener();
            });
    });
}

FleetFeed::~FleetFeed()
{
    m_stop = true;
    m_thread.join();
}

std::vector<FleetFeed::Computer> FleetFeed::snapshot() const
{
    const std::lock_guard lock(m_mutex);
    return m_computers;
}

void FleetFeed::setListener(std::function<void()> listener)
{
    const std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}
