#include "app/fleet_watcher.h"

#include <QDateTime>
#include <QThread>
#include <QTimer>

#include <chrono>

FleetWatcher::FleetWatcher(
    std::vector<FleetPoller::Agent> agents, int intervalMs, ThreadRetirement& retirement, QObject* parent)
    : QObject(parent)
    , m_agents(std::move(agents))
    , m_lastGood(m_agents.size())
    , m_status(m_agents.size())
    , m_polls(std::make_shared<Polls>())
    , m_retirement(retirement)
{
    m_polls->agents = m_agents;
    m_polls->watcher = this;
    AgentPollRequest request;
    request.tcp = request.udp = false;
    request.endpoints = request.addresses = true;
    m_thread = std::thread([polls = m_polls, request, intervalMs] {
        watchRemoteFleet(polls->agents, request, std::max(intervalMs, 500), polls->stop,
            [&polls](std::size_t agent, const AgentPollResult& result, const AgentStatus& status) {
                // Posted only while the watcher lives; a post already made goes with it.
                const std::lock_guard lock(polls->mutex);
                if (FleetWatcher* watcher = polls->watcher)
                    QMetaObject::invokeMethod(
                        watcher, [watcher, agent, result, status] { watcher->take(agent, result, status); },
                        Qt::QueuedConnection);
            });
    });
}

FleetWatcher::~FleetWatcher()
{
    {
        const std::lock_guard lock(m_polls->mutex);
        m_polls->watcher = nullptr;
    }
    m_polls->stop = true;
    // The thread ends within a tenth of a second; the GUI thread does not wait for it.
    m_retirement.retire([thread = std::make_shared<std::thread>(std::move(m_thread))] { thread->join(); });
}

void FleetWatcher::take(std::size_t agent, const AgentPollResult& result, const AgentStatus& status)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (result.ok)
        m_lastGood[agent] = result;
    m_status[agent] = status;
    scheduleUpdate();
}

void FleetWatcher::setThisComputer(std::shared_ptr<const MapTable> table)
{
    Q_ASSERT(QThread::currentThread() == thread());
    m_thisComputer = std::move(table);
    scheduleUpdate();
}

void FleetWatcher::scheduleUpdate()
{
    // 50 agents end their polls at 25 a second: the map is drawn again at most 5 times a second.
    if (m_updatePending)
        return;
    m_updatePending = true;
    QTimer::singleShot(200, this, [this] {
        m_updatePending = false;
        Q_EMIT updated();
    });
}

std::vector<FleetMapComputer> FleetWatcher::computers() const
{
    const auto steadyNow = std::chrono::steady_clock::now();
    const auto wallSince = [&](std::chrono::steady_clock::time_point since) {
        const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(steadyNow - since).count();
        return QDateTime::currentDateTime().addMSecs(-ago).toString(QStringLiteral("HH:mm:ss")).toStdString();
    };
    std::vector<FleetMapComputer> computers;
    if (m_thisComputer) {
        FleetMapComputer entry;
        const std::string& name = m_thisComputer->localComputerName;
        entry.computer = fleetComputer(
            m_thisComputer->table, name.empty() ? std::string("this computer") : name, localHostAddresses());
        computers.push_back(std::move(entry));
    }
    for (std::size_t i = 0; i < m_agents.size(); ++i) {
        FleetMapComputer entry;
        entry.computer = fleetComputer(m_lastGood[i]);
        if (entry.computer.name.empty())
            entry.computer.name = m_agents[i].peer;
        const AgentStatus& status = m_status[i];
        switch (status.state) {
        case AgentState::Waiting:
            entry.status = "waiting for the agent";
            break;
        case AgentState::Answering:
            break;
        case AgentState::Slow:
            entry.stale = true;
            entry.status = "slow since " + wallSince(status.since);
            break;
        case AgentState::Stale:
            entry.stale = true;
            entry.status = status.error + " since " + wallSince(status.since);
            break;
        }
        computers.push_back(std::move(entry));
    }
    return computers;
}
