#pragma once
// Many agents watched at once on the calling thread: each is polled again as soon as its
// refresh interval has passed since its last poll began, through net-snmp's asynchronous
// requests, so a slow or dead agent holds only its own rows back. Never a thread per agent.

#include "scan/agent_poller.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class AgentJob;

enum class AgentState
{
    Waiting, // no poll has ended yet
    Answering,
    Slow, // a poll has been waiting longer than one timeout: its rows are stale meanwhile
    Stale // the last poll failed
};

struct AgentStatus
{
    AgentState state = AgentState::Waiting;
    std::chrono::steady_clock::time_point since {}; // Slow, Stale: when the rows went stale
    std::string error; // Stale: why, naming the agent
    std::chrono::steady_clock::duration lastPoll {}; // how long the last poll that ended took
};

class FleetPoller
{
public:
    using Clock = std::chrono::steady_clock;
    struct Agent
    {
        std::string peer;
        std::vector<std::string> snmpArguments; // snmpwalk's syntax, one word each
        std::string rejection; // not "": the options could not be read, and each poll fails with it
    };

    FleetPoller(std::vector<Agent> agents, const AgentPollRequest& request, Clock::duration interval,
        const RemoteAgentSettings& settings = {}, std::size_t maxOpen = 64);
    ~FleetPoller();
    FleetPoller(const FleetPoller&) = delete;
    FleetPoller& operator=(const FleetPoller&) = delete;

    // Polls until `until` or stop(); every poll that ends goes to onResult at once, on this
    // thread. Polls under way at `until` go on at the next call; stop() ends them.
    void run(Clock::time_point until,
        const std::function<void(std::size_t agent, const AgentPollResult&)>& onResult);
    // Ends run() within a fraction of a second; from any thread.
    void stop() { m_stopped = true; }
    // The agent's status at now; on the thread that runs the poller.
    AgentStatus status(std::size_t agent, Clock::time_point now) const;
    std::size_t size() const { return m_agents.size(); }

private:
    struct Watch
    {
        std::unique_ptr<AgentJob> job;
        AgentPollResult result;
        Clock::time_point nextStart {};
        std::optional<Clock::time_point> pollStarted;
        std::optional<Clock::time_point> staleSince;
        bool answered = false;
        std::string error;
        Clock::duration lastPoll {};
    };
    void start(std::size_t agent, Clock::time_point now);
    void finish(std::size_t agent, Clock::time_point now,
        const std::function<void(std::size_t, const AgentPollResult&)>& onResult);

    std::vector<Agent> m_agents;
    AgentPollRequest m_request;
    Clock::duration m_interval;
    RemoteAgentSettings m_settings;
    std::size_t m_maxOpen;
    std::vector<Watch> m_watches;
    std::atomic<bool> m_stopped = false;
};
