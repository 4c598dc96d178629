#pragma once
// The window tests' sockets on 127.0.0.1, held until the end of the test.

#include "tests/common/loopback_sockets.h"

#include <cstdint>
#include <vector>

class TestSockets
{
public:
    // A TCP listener on 127.0.0.1, or on every interface (0.0.0.0); returns its port.
    std::uint16_t listen(bool everyInterface = false);
    // An established pair to a listener of ours: two Established rows.
    void connectTo(std::uint16_t port);
    // count UDP sockets bound to free ports.
    void udp(int count);

private:
    std::vector<loopback::Socket> m_sockets;
};
