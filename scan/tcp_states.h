#pragma once
// The texts of the TCP states as rows carry them, and the two that rows are tested for.

#include <array>
#include <cstdint>
#include <cstring>

// Texts of the RFC 1213 TCP states, indexed by tcpConnState; 0 has no state and reads "none".
inline constexpr std::array<const char*, 12> TcpStateNames { "none", "Closed", "Listening", "Syn_sent",
    "Sen_received", "Established", "Fin_wait", "Fin_wait2", "Close_wait", "Last_ack", "Closing",
    "Time_wait" };

inline constexpr const char* kEstablishedState = "Established"; // TcpStateNames[5]
inline constexpr const char* kListeningState = "Listening"; // TcpStateNames[2]

// The text for any state value: values outside the table (12 is deleteTCB, write-only) read "Unknown".
inline const char* tcpStateText(std::int32_t stateValue)
{
    if (stateValue < 0 || stateValue >= static_cast<std::int32_t>(TcpStateNames.size()))
        return "Unknown";
    return TcpStateNames[static_cast<std::size_t>(stateValue)];
}

// Rows compare states as whole texts, byte for byte and case-sensitive.
inline bool isEstablished(const char* state)
{
    return std::strcmp(state, kEstablishedState) == 0;
}

inline bool isListening(const char* state)
{
    return std::strcmp(state, kListeningState) == 0;
}
