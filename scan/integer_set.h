#pragma once
// A SET of one INTEGER instance: how a manager closes a connection (deleteTCB) or stops a
// process (invalid) on another computer's agent.

#include "scan/snmp_session.h"

#include <cstdint>
#include <string>
#include <vector>

// A SET's end: failure "" when the agent took it, else why not; agentAnswered tells an
// agent's refusal (an error status) from no answer at all.
struct RemoteSetResult
{
    std::string failure;
    bool agentAnswered = false;
};

class IntegerSet final : public SnmpOperation
{
public:
    IntegerSet(std::vector<std::uint32_t> name, long value);

    snmp_pdu* request(long version, int maxRepetitions) override;
    // Done on noError; any other status is the failure, as net-snmp names it.
    Step consume(const snmp_pdu& response) override;
    // Whether the agent answered (with any status); false after a timeout or a refused session.
    bool answered() const { return m_answered; }

private:
    std::vector<std::uint32_t> m_name;
    long m_value;
    bool m_answered = false;
};
