#include "app/fleet_watcher.h"

#include <QDateTime>
#include <QThread>
#include <QTimer>

#include <chrono>

FleetWatcher::FleetWatcher(std::shared_ptr<FleetFeed> feed, ThreadRetirement& retirement, QObject* parent)
    : QObject(parent)
    , m_feed(std::move(feed))
    , m_retirement(retirement)
{
    // A post already made when this goes is dropped with it.
    m_feed->setListener([this] {
        QMetaObject::invokeMethod(
            this, [this] { scheduleUpdate(); }, Qt::QueuedConnection);
    });
}

FleetWatcher::~FleetWatcher()
{
    m_feed->setListener({});
    // The grid usually still holds the feed; when it does not, its poll thread ends off the GUI thread.
    m_retirement.retire([feed = std::move(m_feed)]() mutable { feed.reset(); });
}

void FleetWatcher::setWatched(std::shared_ptr<const MapTable> table, bool agent)
{
    Q_ASSERT(QThread::currentThread() == thread());
    m_watched = std::move(table);
    m_watchedAgent = agent;
    scheduleUpdate();
}

void FleetWatcher::setWatchedFailure(std::string failure)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (failure == m_watchedFailure)
        return;
    m_watchedFailure = std::move(failure);
    scheduleUpdate();
}

void FleetWatcher::scheduleUpdate()
{
    Q_ASSERT(QThread::currentThread() == thread());
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
    // A Watch choice that has never been read is drawn with why, never as an empty machine.
    if (m_watched || !m_watchedFailure.empty()) {
        FleetMapComputer entry;
        std::string name = m_watched ? m_watched->localComputerName : std::string();
        if (name.empty())
            name = m_watchedAgent ? "the watched agent" : "this computer";
        if (m_watched)
            entry.computer = fleetComputer(m_watched->table, std::move(name),
                m_watchedAgent ? std::vector<HostAddress>() : localHostAddresses());
        else
            entry.computer.name = std::move(name);
        if (m_watchedAgent)
            entry.computer.addresses = endpointAddresses(entry.computer);
        entry.stale = !m_watchedFailure.empty();
        entry.status = m_watchedFailure;
        computers.push_back(std::move(entry));
    }
    for (const FleetFeed::Computer& polled : m_feed->snapshot()) {
        FleetMapComputer entry;
        if (polled.lastGood)
            entry.computer = fleetComputer(*polled.lastGood);
        if (entry.computer.name.empty())
            entry.computer.name = polled.peer;
        const AgentStatus& status = polled.status;
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
