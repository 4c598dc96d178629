#pragma once
// The kernel's SNMP counters: /proc/net/snmp (groups of a "Name: ..." header line and a
// "Name: ..." value line) and /proc/net/snmp6 (one "Name value" line per counter).

#include <cstdint>
#include <optional>
#include <string_view>

// One counter of a /proc/net/snmp text: group "Tcp", name "InErrs".
std::optional<std::uint64_t> parseSnmpCounter(
    std::string_view snmpText, std::string_view group, std::string_view name);
// One counter of a /proc/net/snmp6 text.
std::optional<std::uint64_t> parseSnmp6Counter(std::string_view snmp6Text, std::string_view name);

// A count of what came in and what went out.
struct InOutCounts
{
    std::uint64_t in = 0;
    std::uint64_t out = 0;
};
using UdpDatagrams = InOutCounts;
using TcpSegments = InOutCounts;

// tcpInErrs: "Tcp:" InErrs, a Counter32 that wraps.
std::optional<std::uint32_t> parseTcpInErrors(std::string_view snmpText);

// Read from the calling thread's network namespace.
std::optional<std::uint32_t> readTcpInErrors();
// TCP segments received and sent: the kernel counts both families in one group.
std::optional<TcpSegments> readTcpSegments();
// UDP datagrams delivered and sent, IPv4 and IPv6 together, as udpHCInDatagrams and
// udpHCOutDatagrams count them.
std::optional<UdpDatagrams> readUdpDatagrams();
