#pragma once
// The watched fleet polled while its map is open: the remote agents' module polls every
// agent on one thread of this object's, and each poll that ends comes to the GUI thread,
// which keeps each agent's last good rows and its status.

#include "app/thread_retirement.h"
#include "scan/remote_agents.h"
#include "scan/scan_view.h"
#include "views/fleet_map_picture.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FleetWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FleetWatcher)

public:
    // Starts polling at once, each agent every intervalMs.
    FleetWatcher(std::vector<FleetPoller::Agent> agents, int intervalMs, ThreadRetirement& retirement,
        QObject* parent = nullptr);
    // Stops the polls: none reaches this object any more; the thread ends, and is joined,
    // through the retirement.
    ~FleetWatcher() override;

    const std::vector<FleetPoller::Agent>& agents() const { return m_agents; }
    // Every agent as the map draws it: its last good rows, dimmed while they are stale; this
    // computer first, once given.
    std::vector<FleetMapComputer> computers() const;
    // This computer as the window's last finished scan read it (when the Watch choice is this
    // computer, which no agent here polls); null: none. GUI thread.
    void setThisComputer(std::shared_ptr<const MapTable> table);

Q_SIGNALS:
    // Some agents' polls ended; at most five times a second.
    void updated();

private:
    void take(std::size_t agent, const AgentPollResult& result, const AgentStatus& status);
    void scheduleUpdate();

    std::vector<FleetPoller::Agent> m_agents;
    std::vector<AgentPollResult> m_lastGood; // GUI thread
    std::vector<AgentStatus> m_status; // GUI thread
    std::shared_ptr<const MapTable> m_thisComputer; // GUI thread
    bool m_updatePending = false;
    // What the poll thread shares with this object, and keeps once this has gone.
    struct Polls
    {
        std::vector<FleetPoller::Agent> agents;
        std::atomic<bool> stop = false;
        std::mutex mutex;
        FleetWatcher* watcher = nullptr; // under the mutex; null once this has gone
    };
    std::shared_ptr<Polls> m_polls;
    ThreadRetirement& m_retirement;
    std::thread m_thread;
};
