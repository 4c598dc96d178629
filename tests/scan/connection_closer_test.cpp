// Closing a connection of this computer through the agent module, as the window does,
// in a fresh network namespace (the test runs as root).

#include "scan/connection_closer.h"
#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/socket_holder.h"
#include "tests/common/ss_traffic.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace loopback;

TEST(ConnectionCloser, ClosesEitherFamilysConnectionAndSaysWhyWhenItCannot)
{
    ASSERT_EQ(testns::enterPrivateNetworkNamespace(), "");
    MibAgent agent;
    ASSERT_EQ(startNetworking(agent), "");
    // An IPv4 client of a dual-stack listener: the accepted end is an IPv6 socket.
    Socket listener = tcpListener("::", 9700, Stack::DualStack);
    Socket client = tcpClient("127.0.0.1", 9700);
    Socket accepted = acceptOne(listener);
    const int port = client.localPort();
    EXPECT_EQ(closeTcpConnection("127.0.0.1", 9700, "127.0.0.1", port), ActionOutcome::Done);
    EXPECT_EQ(sstraffic::readError(client), ECONNRESET);
    EXPECT_EQ(closeTcpConnection("127.0.0.1", 9700, "127.0.0.1", port), ActionOutcome::Gone);

    Socket v6Listener = tcpListener("::1", 9701, Stack::V6Only);
    Socket v6Client = tcpClient("::1", 9701);
    Socket v6Accepted = acceptOne(v6Listener);
    EXPECT_EQ(closeTcpConnection("::1", v6Client.localPort(), "::1", 9701), ActionOutcome::Done);
    EXPECT_EQ(sstraffic::readError(v6Accepted), ECONNRESET);

    EXPECT_EQ(closeTcpConnection("localhost", 1, "::1", 2), ActionOutcome::Refused);
}

TEST(ConnectionCloser, StopsTheProcessTheLastScanReadAndSaysWhenItHasEnded)
{
    ASSERT_EQ(testns::enterPrivateNetworkNamespace(), "");
    MibAgent agent;
    ASSERT_EQ(startNetworking(agent), "");
    // A socket: the scan lists its process.
    testproc::SocketHolder holder("to-stop", [] { tcpListener("127.0.0.1", 9710).release(); });
    const pid_t child = holder.pid();
    ASSERT_GT(child, 0);
    agent.walkTcpListeners();
    agent.walkProcesses();
    agent.endScan();
    ASSERT_EQ(stopProcess(static_cast<std::uint32_t>(child)),
        ActionOutcome::Done); // else the holder ends the child
    const int status = holder.waitForEnd();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(stopProcess(static_cast<std::uint32_t>(child)), ActionOutcome::Gone);
}

} // namespace
