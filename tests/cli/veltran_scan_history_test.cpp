// veltran-scan --record and --history as whole processes, in a private network namespace
// where only this test's own sockets exist.

#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

std::string g_state;

testproc::CommandRun history(const std::string& arguments)
{
    return testproc::runCommand(
        "XDG_STATE_HOME=" + g_state + " " VELTRAN_SCAN_PATH " --history --since 1h " + arguments);
}

// The line of --group output that starts with key, or "".
std::string groupLine(const testproc::CommandRun& run, const std::string& key)
{
    for (const std::string& line : run.out) {
        if (line.starts_with(key + '\t') || line.starts_with(key + ','))
            return line;
    }
    return {};
}

// Waits, a scan's interval at a time, until the recorded group has count connections.
bool waitForCount(const std::string& group, const std::string& key, int count)
{
    const std::string wanted = key + '\t' + std::to_string(count) + '\t';
    for (int tries = 0; tries < 40; ++tries) {
        if (groupLine(history("--group " + group), key).starts_with(wanted))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
}

TEST(VeltranScanHistory, TheRecorderKeepsEachConnectionsLifeAndHistoryGroupsThem)
{
    const std::filesystem::path state
        = std::filesystem::temp_directory_path() / ("veltran-history-" + std::to_string(getpid()));
    std::filesystem::remove_all(state);
    g_state = state.string();
    EXPECT_EQ(history("").status, 1); // nothing recorded yet is not an empty history

    loopback::Socket listener = loopback::tcpListener("127.0.0.1", 0);
    const std::string port = std::to_string(listener.localPort());
    loopback::Socket first = loopback::tcpClient("127.0.0.1", listener.localPort());
    loopback::Socket firstServer = loopback::acceptOne(listener);
    const pid_t recorder
        = testproc::spawn({ VELTRAN_SCAN_PATH, "--record", "--interval", "1", "--limit", "1" },
            { { "XDG_STATE_HOME", g_state } });
    testproc::ProcessGuard guard(recorder);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    ASSERT_TRUE(waitForCount("process", self, 3)) << "the listener and both ends of the first connection";

    // A second connection, and the first one closed: five lives in all, whatever --limit.
    loopback::Socket second = loopback::tcpClient("127.0.0.1", listener.localPort());
    loopback::Socket secondServer = loopback::acceptOne(listener);
    loopback::abortClose(first);
    firstServer.reset();
    ASSERT_TRUE(waitForCount("process", self, 5));
    testproc::stop(recorder);

    const testproc::CommandRun ports = history("--group lport --csv");
    EXPECT_EQ(ports.status, 0);
    EXPECT_TRUE(groupLine(ports, "TCP " + port).starts_with("TCP " + port + ",3,"))
        << groupLine(ports, "TCP " + port);
    const testproc::CommandRun closed = history("--filter 'port:" + port + " !state:listen'");
    int open = 0;
    int ended = 0;
    for (const std::string& line : closed.out) {
        if (line.find("\t127.0.0.1\t" + port + "\t") == std::string::npos)
            continue;
        (line.ends_with("\t\t\t") ? open : ended) += 1; // the closed time is empty while open
    }
    EXPECT_EQ(ended, 2); // both ends of each connection
    EXPECT_EQ(open, 2);
    std::filesystem::remove_all(state);
}

} // namespace
