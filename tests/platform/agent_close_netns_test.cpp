// Closing a connection through the agent, as a manager does: a SET of its state to
// deleteTCB. Real loopback connections in a fresh namespace; the test runs as root.

#include "platform/inetmib1/kernel_endpoint_source.h"
#include "platform/inetmib1/sw_run_reader.h"
#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"
#include "tests/common/socket_holder.h"
#include "tests/common/ss_traffic.h"
#include "tests/platform/agent_client.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <linux/capability.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace agenttest {
namespace {

    using namespace loopback;

    const Oid tcpConnStateColumn = { 1, 3, 6, 1, 2, 1, 6, 13, 1, 1 };
    const Oid tcpConnectionStateColumn = { 1, 3, 6, 1, 2, 1, 6, 19, 1, 7 };
    constexpr LONG deleteTcb = 12;

    // The status of a SET of name to value.
    AsnInteger32 set(const Oid& name, LONG value)
    {
        SnmpVarBind binding {};
        const AsnObjectIdentifier asked { static_cast<UINT>(name.size()), const_cast<UINT*>(name.data()) };
        SnmpUtilOidCpy(&binding.name, &asked);
        binding.value.asnType = ASN_INTEGER;
        binding.value.asnValue.number = value;
        RFC1157VarBindList list { &binding, 1 };
        AsnInteger32 status = -1;
        AsnInteger32 index = 0;
        agent().query(SNMP_PDU_SET, &list, &status, &index);
        SnmpUtilVarBindFree(&binding);
        return status;
    }

    Oid v4Instance(const Oid& column, int localPort, int remotePort)
    {
        Oid name = column;
        for (const UINT id : { 127u, 0u, 0u, 1u, UINT(localPort), 127u, 0u, 0u, 1u, UINT(remotePort) })
            name.push_back(id);
        return name;
    }

    Oid inetInstance(const Oid& column, int localPort, int remotePort)
    {
        Oid name = column;
        for (const UINT id :
            { 1u, 4u, 127u, 0u, 0u, 1u, UINT(localPort), 1u, 4u, 127u, 0u, 0u, 1u, UINT(remotePort) })
            name.push_back(id);
        return name;
    }

    // The lines ss lists for TCP sockets on a local port, in any state.
    std::vector<std::string> ssLines(int port)
    {
        return testproc::runCommand("ss -tnH src 127.0.0.1:" + std::to_string(port)).out;
    }

    using AgentCloseTest = AgentInNamespaceTest;

    TEST_F(AgentCloseTest, DeleteTcbClosesTheConnectionAndThePeerSeesAReset)
    {
        Socket listener = tcpListener("127.0.0.1", 9600);
        // Through each table that names a connection's state.
        for (const Oid& column : { tcpConnectionStateColumn, tcpConnStateColumn }) {
            Socket client = tcpClient("127.0.0.1", 9600);
            Socket server = acceptOne(listener);
            const int port = client.localPort();
            ASSERT_EQ(ssLines(port).size(), 1u);
            const Oid name = column == tcpConnStateColumn ? v4Instance(column, port, 9600)
                                                          : inetInstance(column, port, 9600);
            EXPECT_EQ(set(name, 2), SNMP_ERRORSTATUS_BADVALUE); // only deleteTCB may be set
            EXPECT_EQ(set(name, deleteTcb), SNMP_ERRORSTATUS_NOERROR);
            EXPECT_EQ(ssLines(port), std::vector<std::string>());
            EXPECT_EQ(sstraffic::readError(server), ECONNRESET);
            // Gone already: told as a name that is no more.
            EXPECT_EQ(set(name, deleteTcb), SNMP_ERRORSTATUS_NOSUCHNAME);
        }
    }

    TEST_F(AgentCloseTest, WithoutCapNetAdminTheSetIsRefusedAndTheConnectionStays)
    {
        Socket listener = tcpListener("127.0.0.1", 9610);
        Socket client = tcpClient("127.0.0.1", 9610);
        Socket server = acceptOne(listener);
        const int port = client.localPort();
        const pid_t child = fork();
        if (child == 0) {
            __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
            __user_cap_data_struct data[2] {};
            if (syscall(SYS_capget, &header, data) != 0)
                _exit(100);
            data[0].effective &= ~(1u << CAP_NET_ADMIN);
            data[0].permitted &= ~(1u << CAP_NET_ADMIN);
            if (syscall(SYS_capset, &header, data) != 0)
                _exit(101);
            _exit(static_cast<int>(set(inetInstance(tcpConnectionStateColumn, port, 9610), deleteTcb)));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), SNMP_ERRORSTATUS_NOACCESS);
        EXPECT_EQ(ssLines(port).size(), 1u);
        EXPECT_EQ(sstraffic::readError(server), 0);
    }

    TEST_F(AgentCloseTest, InvalidStopsTheProcessTheAgentReadAndNoOtherUnderItsPid)
    {
        // A socket, so the process is in hrSWRunTable.
        testproc::SocketHolder holder("to-stop", [] { tcpListener("127.0.0.1", 9620).release(); });
        const pid_t child = holder.pid();
        ASSERT_GT(child, 0);
        // Another start time under the same pid, as after a reuse: refused, nothing sent.
        SwRunRow row;
        ASSERT_TRUE(readSwRun("/proc", static_cast<std::uint32_t>(child), row));
        KernelEndpointSource source;
        EXPECT_EQ(source.stopProcess(static_cast<std::uint32_t>(child), row.startTime + 1), ESTALE);
        EXPECT_EQ(kill(child, 0), 0);

        const Oid swRunEntry = { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 };
        agent().walkSubtree(swRunEntry);
        Oid name = swRunEntry;
        name.insert(name.end(), { 7, static_cast<UINT>(child) });
        EXPECT_EQ(set(name, 2), SNMP_ERRORSTATUS_BADVALUE);
        agent().walkSubtree(swRunEntry);
        ASSERT_EQ(set(name, 4), SNMP_ERRORSTATUS_NOERROR); // else the holder ends the child
        const int status = holder.waitForEnd();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    }

} // namespace
} // namespace agenttest
