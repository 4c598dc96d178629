#pragma once
// The more computers of the watch list polled for the grid: the remote agents' module polls
// every agent on one thread of this object's, and each agent's last good poll and its
// status wait here for the scan worker, which never waits on a poll.

#include "scan/remote_agents.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FleetFeed
{
public:
    struct Computer
    {
        std::string peer;
        std::shared_ptr<const AgentPollResult> lastGood; // null until a poll read the tables
        AgentStatus status;
    };

    // Starts polling at once, each agent every intervalMs (at least half a second).
    FleetFeed(std::vector<FleetPoller::Agent> agents, int intervalMs);
    // Stops the polls and joins the thread.
    ~FleetFeed();
    FleetFeed(const FleetFeed&) = delete;
    FleetFeed& operator=(const FleetFeed&) = delete;

    const std::vector<FleetPoller::Agent>& agents() const { return m_agents; }
    int intervalMs() const { return m_intervalMs; }
    // Every agent as its polls left it; from any thread.
    std::vector<Computer> snapshot() const;
    // Called on the poll thread after each poll is taken in, under the feed's lock: keep it
    // short. Empty: none. From any thread; once this returns, the last one is not called again.
    void setListener(std::function<void()> listener);

private:
    std::vector<FleetPoller::Agent> m_agents;
    int m_intervalMs;
    mutable std::mutex m_mutex;
    std::vector<Computer> m_computers;
    std::function<void()> m_listener; // under the mutex
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};
