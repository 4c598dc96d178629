#pragma once
// tcpInErrs from the kernel's SNMP counters (/proc/net/snmp, "Tcp:" InErrs).

#include <cstdint>
#include <optional>
#include <string_view>

// The InErrs counter of the "Tcp:" header and value lines of a /proc/net/snmp text.
std::optional<std::uint32_t> parseTcpInErrors(std::string_view snmpText);

// Reads it from the calling process's network namespace.
std::optional<std::uint32_t> readTcpInErrors();
