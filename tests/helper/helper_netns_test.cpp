// The helper program itself, as pkexec runs it (as root) and as a user without the right:
// real loopback connections and processes in a fresh network namespace.

#include "helper/helper_request.h"
#include "platform/inetmib1/sw_run_reader.h"
#include "scan/action_outcome.h"
#include "tests/common/loopback_sockets.h"
#include "tests/common/netns.h"
#include "tests/common/socket_holder.h"
#include "tests/common/ss_traffic.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace loopback;

const auto* const g_namespace = ::testing::AddGlobalTestEnvironment(new testns::PrivateNamespaceEnvironment);

// Runs the helper with arguments by an argument vector, as pkexec does; as nobody when
// unprivileged. Its outcome from its exit code.
ActionOutcome runHelper(const std::vector<std::string>& arguments, bool unprivileged = false)
{
    std::vector<std::string> words { VELTRAN_CLOSE_HELPER_PATH };
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        constexpr uid_t nobody = 65534;
        if (unprivileged
            && (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0
                || setresuid(nobody, nobody, nobody) != 0))
            _exit(100);
        execv(argv[0], argv.data());
        _exit(101);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return ActionOutcome::Failed;
    return static_cast<ActionOutcome>(WEXITSTATUS(status));
}

TEST(HelperProgram, ClosesOnlyAWellFormedRequestsConnectionAndOnlyWithTheRight)
{
    Socket listener = tcpListener("127.0.0.1", 9800);
    Socket client = tcpClient("127.0.0.1", 9800);
    Socket server = acceptOne(listener);
    auto arguments = closeHelperArguments("127.0.0.1", client.localPort(), "127.0.0.1", 9800);
    auto extra = arguments;
    extra.push_back("127.0.0.1:9800");
    EXPECT_EQ(runHelper(extra), ActionOutcome::Refused);
    EXPECT_EQ(runHelper(arguments, true), ActionOutcome::NoRight);
    EXPECT_EQ(sstraffic::readError(server), 0); // neither touched it

    EXPECT_EQ(runHelper(arguments), ActionOutcome::Done);
    EXPECT_EQ(sstraffic::readError(server), ECONNRESET);
    EXPECT_EQ(runHelper(arguments), ActionOutcome::Gone);

    // An IPv4 connection held by a dual-stack socket is found under its IPv4 ends.
    Socket dual = tcpListener("::", 9801, Stack::DualStack);
    Socket v4Client = tcpClient("127.0.0.1", 9801);
    Socket accepted = acceptOne(dual);
    EXPECT_EQ(runHelper(closeHelperArguments("127.0.0.1", 9801, "127.0.0.1", v4Client.localPort())),
        ActionOutcome::Done);
    EXPECT_EQ(sstraffic::readError(v4Client), ECONNRESET);
}

TEST(HelperProgram, StopsOnlyTheProcessThatStartedAtTheGivenTime)
{
    testproc::SocketHolder holder("to-stop", [] {});
    const pid_t child = holder.pid();
    ASSERT_GT(child, 0);
    SwRunRow row;
    ASSERT_TRUE(readSwRun("/proc", static_cast<std::uint32_t>(child), row));
    const auto pid = static_cast<std::uint32_t>(child);
    EXPECT_EQ(runHelper(stopHelperArguments(pid, row.startTime + 1)), ActionOutcome::Gone);
    EXPECT_EQ(runHelper(stopHelperArguments(pid, row.startTime), true), ActionOutcome::NoRight);
    EXPECT_EQ(kill(child, 0), 0);
    ASSERT_EQ(
        runHelper(stopHelperArguments(pid, row.startTime)), ActionOutcome::Done); // else the holder kills
    const int status = holder.waitForEnd();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

} // namespace
