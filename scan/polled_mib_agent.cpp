#include "scan/polled_mib_agent.h"

PolledMibAgent::PolledMibAgent(std::shared_ptr<const AgentPollResult> result)
    : m_result(std::move(result))
{
}
