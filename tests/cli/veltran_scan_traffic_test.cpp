// veltran-scan --traffic and --rates against the agent module, in the private namespace of
// the end-to-end tests, and against net-snmp's snmpd, which has no TCP statistics.

#include "tests/common/loopback_sockets.h"
#include "tests/common/process.h"
#include "tests/common/snmpd.h"
#include "tests/common/ss_traffic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <sys/socket.h>
#include <thread>

namespace {

using namespace loopback;
using namespace sstraffic;

const std::string kDash = "\u2013";

// The cells of each printed row by "local port > remote port" (the remote "none" for
// listeners and UDP), after a header with the traffic columns.
std::map<std::string, std::vector<std::string>> rowsByPorts(const testproc::CommandRun& run)
{
    std::map<std::string, std::vector<std::string>> rows;
    for (std::size_t i = 1; i < run.out.size(); ++i) {
        std::vector<std::string> cells;
        std::size_t from = 0;
        for (std::size_t tab; (tab = run.out[i].find('\t', from)) != std::string::npos; from = tab + 1)
            cells.push_back(run.out[i].substr(from, tab - from));
        cells.push_back(run.out[i].substr(from));
        if (cells.size() > 3)
            rows[cells[2] + " > " + cells[3]] = cells;
    }
    return rows;
}

testproc::CommandRun scan(const std::string& arguments)
{
    return testproc::runCommand(
        std::string(VELTRAN_SCAN_PATH) + " --no-host-names --no-port-names " + arguments);
}

TEST(VeltranScanTraffic, BytesAreTheKernelsAsSsShowsThemAndUdpHasNone)
{
    Socket listener = tcpListener("127.0.0.1", 9500);
    Socket client = tcpClient("127.0.0.1", 9500);
    Socket server = acceptOne(listener);
    Socket udp = udpSocket("127.0.0.1", 9501);
    ASSERT_TRUE(sendAll(client, 123'456));
    ASSERT_TRUE(receiveAll(server, 123'456));
    const std::string port = std::to_string(client.localPort());

    // The last acknowledgement may still be on its way: compare when ss reads the same around the scan.
    testproc::CommandRun run;
    std::pair<std::string, std::string> before, after;
    for (int attempt = 0; attempt < 50; ++attempt) {
        before = ssBytes(client.localPort(), 9500);
        run = scan("--traffic");
        after = ssBytes(client.localPort(), 9500);
        if (before == after)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(run.status, 0);
    ASSERT_FALSE(run.out.empty());
    EXPECT_TRUE(run.out[0].ends_with("\tState\tSent bytes\tReceived bytes\tRTT ms")) << run.out[0];
    EXPECT_EQ(run.err, std::vector<std::string>());
    auto rows = rowsByPorts(run);
    ASSERT_EQ(rows[port + " > 9500"].size(), 10u);
    EXPECT_EQ(rows[port + " > 9500"][7], before.first);
    EXPECT_EQ(rows[port + " > 9500"][8], before.second);
    EXPECT_EQ(rows["9500 > " + port][8], "123456");
    // Listeners and UDP endpoints have no counters.
    EXPECT_EQ(rows["9500 > none"][7], kDash);
    EXPECT_EQ(rows["9501 > none"][7], kDash);
    EXPECT_EQ(rows["9501 > none"][9], kDash);
}

TEST(VeltranScanTraffic, RatesOfAThrottledTransferFromTwoScans)
{
    Socket listener = tcpListener("127.0.0.1", 9510);
    Socket client = tcpClient("127.0.0.1", 9510);
    Socket server = acceptOne(listener);
    // 1 MB/s in 10 ms steps, each due at its own time so a late step catches up.
    constexpr double rate = 1'000'000;
    std::atomic<bool> done = false;
    std::thread sender([&] {
        const auto start = std::chrono::steady_clock::now();
        for (int step = 1; !done; ++step) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * step));
            if (!sendAll(client, static_cast<std::size_t>(rate / 100)))
                return;
        }
    });
    std::thread receiver([&] {
        char buffer[65536];
        while (recv(server.fd(), buffer, sizeof buffer, 0) > 0) { }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const testproc::CommandRun run = scan("--rates 5");
    done = true;
    sender.join();
    shutdown(server.fd(), SHUT_RDWR);
    receiver.join();

    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(run.out[0].ends_with("\tRTT ms\tSend rate B/s\tReceive rate B/s")) << run.out[0];
    auto rows = rowsByPorts(run);
    const std::string port = std::to_string(client.localPort());
    ASSERT_EQ(rows[port + " > 9510"].size(), 12u);
    EXPECT_NEAR(std::stod(rows[port + " > 9510"][10]), rate, rate * 0.15);
    EXPECT_NEAR(std::stod(rows["9510 > " + port][11]), rate, rate * 0.15);
    EXPECT_EQ(rows[port + " > 9510"][11], "0");
}

TEST(VeltranScanTraffic, AnAgentWithoutTheTablesIsToldOnceAndShowsDashes)
{
    testsnmp::SnmpdConfig config;
    config.ownProcessesOnly = true;
    testsnmp::SnmpdProcess snmpd;
    ASSERT_EQ(snmpd.start(config), "");
    Socket listener = tcpListener("127.0.0.1", 9520);
    Socket client = tcpClient("127.0.0.1", 9520);
    Socket server = acceptOne(listener);

    const testproc::CommandRun run = scan("--rates 1 " + snmpd.v2cOptions() + " " + snmpd.peer());
    ASSERT_EQ(run.status, 0) << (run.err.empty() ? "" : run.err[0]);
    EXPECT_EQ(
        run.err, std::vector<std::string> { "The agent serves no TCP statistics: traffic is not known" });
    auto rows = rowsByPorts(run);
    const std::vector<std::string>& row = rows[std::to_string(client.localPort()) + " > 9520"];
    ASSERT_EQ(row.size(), 12u);
    for (std::size_t i = 7; i < 12; ++i)
        EXPECT_EQ(row[i], kDash) << i;
}

} // namespace
