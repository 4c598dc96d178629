#pragma once
// The few Winsock and kernel32 calls the scanner starts with. Linux sockets need no
// start-up; WSAStartup only checks the requested version as the platform does.

#include <cstdint>

using WORD = std::uint16_t;

inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAVERNOTSUPPORTED = 10092;

struct WSADATA
{
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

// The version word: major version in the low byte, minor in the high byte.
constexpr WORD MAKEWORD(unsigned low, unsigned high)
{
    return static_cast<WORD>((low & 0xFF) | ((high & 0xFF) << 8));
}

// Starts the socket layer for the requested version (1.1 to 2.2); 0 on success, else an error code.
int WSAStartup(WORD versionRequested, WSADATA* data);

// Ends one WSAStartup; 0.
int WSACleanup();

// Milliseconds since the system started, wrapping after about 49.7 days.
std::uint32_t GetTickCount();
