// Closing and stopping on another computer's agent through SET, against a real snmpd with a
// write community: it takes no such SET, and its refusal must be told, never success.

#include "scan/connection_closer.h"
#include "tests/common/loopback_sockets.h"
#include "tests/common/snmpd.h"
#include "tests/common/socket_holder.h"
#include "tests/common/ss_traffic.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

namespace {

using namespace loopback;

TEST(RemoteSet, TheAgentsRefusalOrSilenceIsToldAndNothingIsClosed)
{
    testsnmp::SnmpdProcess snmpd;
    testsnmp::SnmpdConfig config;
    config.writeCommunity = "veltran-write";
    ASSERT_EQ(snmpd.start(config), "");
    Socket listener = tcpListener("127.0.0.1", 9900);
    Socket client = tcpClient("127.0.0.1", 9900);
    Socket server = acceptOne(listener);
    testproc::SocketHolder holder("to-keep", [] {});
    ASSERT_GT(holder.pid(), 0);

    const std::string write = "-v2c -c veltran-write -t 1 -r 0";
    const std::string closeAnswer
        = closeRemoteConnection(snmpd.peer(), write, "127.0.0.1", client.localPort(), "127.0.0.1", 9900);
    // Debian 12's snmpd answers genError for tcpConnectionState, and its tcpConnState refuses too.
    EXPECT_EQ(closeAnswer, "SNMP agent " + snmpd.peer() + ": (genError) A general failure occured");
    const std::string readOnly = closeRemoteConnection(
        snmpd.peer(), snmpd.v2cOptions() + " -t 1 -r 0", "127.0.0.1", client.localPort(), "127.0.0.1", 9900);
    EXPECT_EQ(readOnly, "SNMP agent " + snmpd.peer() + ": noAccess");
    const std::string stopAnswer
        = stopRemoteProcess(snmpd.peer(), write, static_cast<std::uint32_t>(holder.pid()));
    EXPECT_EQ(stopAnswer,
        "SNMP agent " + snmpd.peer() + ": notWritable (That object does not support modification)");
    const std::string v3ReadOnly = stopRemoteProcess(
        snmpd.peer(), snmpd.v3Options() + " -t 1 -r 0", static_cast<std::uint32_t>(holder.pid()));
    EXPECT_EQ(v3ReadOnly, "SNMP agent " + snmpd.peer() + ": noAccess");
    EXPECT_EQ(sstraffic::readError(server), 0);
    EXPECT_EQ(kill(holder.pid(), 0), 0);

    snmpd.pause();
    const std::string silence
        = stopRemoteProcess(snmpd.peer(), write, static_cast<std::uint32_t>(holder.pid()));
    EXPECT_EQ(silence, "SNMP agent " + snmpd.peer() + ": Timeout");
    snmpd.resume();
}

} // namespace
