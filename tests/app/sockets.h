#pragma once
// Real loopback sockets for the window tests.

#include <netinet/in.h>

#include <cstdint>
#include <vector>

class TestSockets
{
public:
    TestSockets() = default;
    ~TestSockets();
    TestSockets(const TestSockets&) = delete;
    TestSockets& operator=(const TestSockets&) = delete;

    // A TCP listener on 127.0.0.1; returns its port.
    std::uint16_t listen();
    // An established pair to a listener of ours: two Established rows.
    void connectTo(std::uint16_t port);
    // count UDP sockets bound to 127.0.0.1 on free ports.
    void udp(int count);

private:
    std::vector<int> m_fds;
};
