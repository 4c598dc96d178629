#pragma once
// Builds what a MIB-II agent returns for given TCP and UDP rows, column after column,
// and loads the scripted fake agent module.

#include "scan/mib_agent.h"
#include "tests/scan/fakes/fake_agent_script.h"

#include <cstdint>
#include <string>
#include <vector>

struct TcpRow
{
    LONG state;
    std::uint32_t localAddress; // network order
    LONG localPort;
    std::uint32_t remoteAddress;
    LONG remotePort;
};

struct UdpRow
{
    std::uint32_t localAddress;
    LONG localPort;
};

// tcpConnTable (instances indexed by the row number) and udpTable, with tcpInErrs.0
// after the TCP table and a 9-id scalar after the UDP table, sorted for Table mode.
std::vector<FakeObject> mibObjects(const std::vector<TcpRow>& tcp, const std::vector<UdpRow>& udp);

FakeObject integerObject(std::vector<UINT> name, LONG value);
FakeObject addressObject(std::vector<UINT> name, std::vector<BYTE> octets);
// A TCP column instance name: 1.3.6.1.2.1.6.13.1.<column>.<row>.
std::vector<UINT> tcpName(UINT column, UINT row);
std::vector<UINT> udpName(UINT column, UINT row);

// The path of the scripted module built for the tests, and the one missing SnmpExtensionQuery.
const char* scriptedAgentPath();
const char* initOnlyAgentPath();

// Hands the script to the scripted module (loading it); false when that fails.
bool setScriptedAgentScript(FakeAgentScript& script);
// Loads and initialises the scripted module with the script; false on failure.
bool loadScriptedAgent(MibAgent& agent, FakeAgentScript& script);
