#pragma once
// Drives the built agent module as the scanner does and turns its walks into rows,
// noting every way the replies break the table's shape.

#include "platform/snmp.h"
#include "tests/common/netns.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace agenttest {

using Oid = std::vector<UINT>;

struct TcpEntry
{
    int state;
    std::string localAddress;
    int localPort;
    std::string remoteAddress;
    int remotePort;
    bool operator==(const TcpEntry&) const = default;
};

struct UdpEntry
{
    std::string localAddress;
    int localPort;
    bool operator==(const UdpEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TcpEntry& entry);
std::ostream& operator<<(std::ostream& out, const UdpEntry& entry);

template <typename Entry> struct Walk
{
    std::vector<Entry> rows; // in the order the walk delivered them
    std::vector<std::string> problems; // empty when every reply fitted the table
    Oid firstName; // the name of the first reply
    Oid endName; // the name that ended the walk
    AsnInteger32 endStatus = 0;
    int queries = 0;
};

// Sorts entries into the tables' index order, for building expectations.
std::vector<TcpEntry> inIndexOrder(std::vector<TcpEntry> rows);
std::vector<UdpEntry> inIndexOrder(std::vector<UdpEntry> rows);

// One value of a walk over a subtree: its full name, type and value as text (numbers in
// decimal, strings as they are, identifiers dotted).
struct Value
{
    Oid name;
    BYTE type;
    std::string text;
};

// An InetAddressType, InetAddress and port index at ids[at], as "ipv6 [::1]:22",
// "ipv4 127.0.0.1:80" or "unknown :7000"; advances at past it. Empty if malformed.
std::string endpointText(const Oid& ids, std::size_t& at);

class AgentClient
{
public:
    // Loads "inetmib1.dll" and initialises it; an empty text on success.
    std::string load();

    Walk<TcpEntry> walkTcp();
    Walk<UdpEntry> walkUdp();
    // Every value under prefix in order; problems name replies that did not advance.
    Walk<Value> walkSubtree(const Oid& prefix);

    PFNSNMPEXTENSIONINIT init = nullptr;
    PFNSNMPEXTENSIONQUERY query = nullptr;
    void (*endScan)() = nullptr; // VeltranEndScan
    HANDLE trapEvent = reinterpret_cast<HANDLE>(1);
    AsnObjectIdentifier view {};
};

// The module, loaded once for the test executable; a load that failed fails each test asking.
inline AgentClient& agent()
{
    static AgentClient client;
    static const std::string error = client.load();
    EXPECT_EQ(error, "");
    return client;
}

// Each test in a fresh private network namespace, with the module loaded.
class AgentInNamespaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(testns::enterPrivateNetworkNamespace(), "");
        ASSERT_NE(agent().query, nullptr);
    }
};

} // namespace agenttest
