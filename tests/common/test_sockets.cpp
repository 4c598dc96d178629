#include "tests/common/test_sockets.h"

namespace {

const char* const kLoopback = "127.0.0.1";

} // namespace

std::uint16_t TestSockets::listen(bool everyInterface)
{
    m_sockets.push_back(loopback::tcpListener(everyInterface ? "0.0.0.0" : kLoopback, 0));
    return static_cast<std::uint16_t>(m_sockets.back().localPort());
}

void TestSockets::connectTo(std::uint16_t port)
{
    m_sockets.push_back(loopback::tcpClient(kLoopback, port));
}

void TestSockets::udp(int count)
{
    for (int i = 0; i < count; ++i)
        m_sockets.push_back(loopback::udpSocket(kLoopback, 0));
}
