#include "scan/fleet_poller.h"

#include "scan/agent_job.h"

#include <algorithm>
#include <thread>

namespace {

// The longest wait in one round, so that stop() and the next due poll are never late by more.
constexpr auto kLongestWait = std::chrono::milliseconds(100);

} // namespace

FleetPoller::FleetPoller(std::vector<Agent> agents, const AgentPollRequest& request, Clock::duration interval,
    const RemoteAgentSettings& settings, std::size_t maxOpen)
    : m_agents(std::move(agents))
    , m_request(request)
    , m_interval(interval)
    , m_settings(settings)
    , m_maxOpen(std::max<std::size_t>(maxOpen, 1))
    , m_watches(m_agents.size())
{
}

FleetPoller::~FleetPoller() = default;

void FleetPoller::start(std::size_t agent, Clock::time_point now)
{
    Watch& watch = m_watches[agent];
    watch.result = AgentPollResult {};
    watch.result.peer = m_agents[agent].peer;
    watch.pollStarted = now;
    watch.nextStart = now + m_interval;
    watch.job = std::make_unique<AgentJob>(
        watch.result, m_agents[agent].snmpArguments, m_request, m_settings, m_agents[agent].rejection);
    watch.job->advance();
}

void FleetPoller::finish(std::size_t agent, Clock::time_point now,
    const std::function<void(std::size_t, const AgentPollResult&)>& onResult)
{
    Watch& watch = m_watches[agent];
    watch.job.reset(); // closes the session before anything else runs
    watch.lastPoll = now - watch.pollStarted.value_or(now);
    watch.pollStarted.reset();
    if (watch.result.ok) {
        watch.answered = true;
        watch.staleSince.reset();
        watch.error.clear();
    } else {
        if (!watch.staleSince)
            watch.staleSince = now;
        watch.error = watch.result.error;
    }
    onResult(agent, watch.result);
}

void FleetPoller::run(
    Clock::time_point until, const std::function<void(std::size_t, const AgentPollResult&)>& onResult)
{
    while (!m_stopped) {
        Clock::time_point now = Clock::now();
        if (now >= until)
            break;
        std::size_t open = static_cast<std::size_t>(
            std::ranges::count_if(m_watches, [](const Watch& watch) { return watch.job != nullptr; }));
        Clock::time_point wake = std::min(until, now + kLongestWait);
        for (std::size_t i = 0; i < m_watches.size(); ++i) {
            Watch& watch = m_watches[i];
            if (watch.job)
                continue;
            if (watch.nextStart > now) {
                wake = std::min(wake, watch.nextStart);
                continue;
            }
            if (open >= m_maxOpen)
                continue; // due, but waits for a session to end: the wait below ends with it
            start(i, now);
            if (watch.job->finished())
                finish(i, now, onResult);
            else
                ++open;
        }
        std::vector<SnmpSession*> sessions;
        for (Watch& watch : m_watches) {
            if (watch.job)
                sessions.push_back(&watch.job->session());
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now());
        if (sessions.empty()) {
            std::this_thread::sleep_for(std::max(wait, std::chrono::milliseconds(1)));
            continue;
        }
        SnmpSession::runOnce(sessions, static_cast<int>(std::max<std::int64_t>(wait.count(), 0)));
        now = Clock::now();
        for (std::size_t i = 0; i < m_watches.size(); ++i) {
            Watch& watch = m_watches[i];
            if (watch.job && !watch.job->session().busy() && !watch.job->advance())
                finish(i, now, onResult);
        }
    }
    // Stopped: the polls under way end here. At `until` they go on at the next run.
    if (!m_stopped)
        return;
    for (Watch& watch : m_watches) {
        watch.job.reset();
        watch.pollStarted.reset();
    }
}

AgentStatus FleetPoller::status(std::size_t agent, Clock::time_point now) const
{
    const Watch& watch = m_watches.at(agent);
    AgentStatus status;
    status.error = watch.error;
    status.lastPoll = watch.lastPoll;
    if (watch.staleSince) {
        status.state = AgentState::Stale;
        status.since = *watch.staleSince;
        return status;
    }
    const auto timeout = std::chrono::milliseconds(m_settings.timeoutMs);
    if (watch.pollStarted && now - *watch.pollStarted > timeout) {
        status.state = AgentState::Slow;
        status.since = *watch.pollStarted + timeout;
        return status;
    }
    status.state = watch.answered ? AgentState::Answering : AgentState::Waiting;
    return status;
}
