// The window's path to pkexec, up to the command it runs: the prompt itself needs a desktop.

#include "app/connection_closing.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <csignal>

namespace {

struct Case
{
    bool stop;
    ActionOutcome direct;
    bool root;
    std::optional<std::uint64_t> startTime;
    int helperExit;
    std::vector<std::string> expectedCommand; // empty: pkexec is not run
    ActionOutcome told;
};

TEST(ConnectionClosing, AsksPkexecForTheHelperOnlyWhenTheRightIsMissingAndTellsItsAnswer)
{
    const std::vector<std::string> closeCommand { "/usr/bin/pkexec", "/opt/v/libexec/veltran-close-helper",
        "close", "tcp", "[::1]:9700", "[::1]:40000" };
    const std::vector<std::string> stopCommand { "/usr/bin/pkexec", "/opt/v/libexec/veltran-close-helper",
        "stop", "1234", "987654" };
    const Case cases[] {
        { false, ActionOutcome::NoRight, false, {}, 0, closeCommand, ActionOutcome::Done },
        { false, ActionOutcome::NoRight, false, {}, 126, closeCommand, ActionOutcome::NotAuthorised },
        { false, ActionOutcome::NoRight, false, {}, 4, closeCommand, ActionOutcome::NoKernelSupport },
        { false, ActionOutcome::NoRight, false, {}, 1, closeCommand, ActionOutcome::Failed },
        { false, ActionOutcome::NoRight, true, {}, 0, {}, ActionOutcome::NoRight },
        { false, ActionOutcome::Gone, false, {}, 0, {}, ActionOutcome::Gone },
        { true, ActionOutcome::NoRight, false, 987654, 5, stopCommand, ActionOutcome::Gone },
        { true, ActionOutcome::NoRight, false, std::nullopt, 0, {}, ActionOutcome::Gone },
        { true, ActionOutcome::Done, false, 987654, 0, {}, ActionOutcome::Done },
    };
    GridRowDetails row { "::1", "::1", 9700, 40000, 1234, "server" };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stop " << c.stop << ", helper exit " << c.helperExit);
        std::vector<std::vector<std::string>> commands;
        ConnectionClosing::Actions actions {
            [&](const GridRowDetails&) { return c.direct; },
            [&](const GridRowDetails&) { return c.direct; },
            [&](std::uint32_t) { return c.startTime; },
            [&] { return c.root; },
            [&](const std::vector<std::string>& command, const std::stop_token&) {
                commands.push_back(command);
                return c.helperExit;
            },
            "/opt/v/libexec/veltran-close-helper",
        };
        QString told;
        ConnectionClosing closing(
            nullptr, [&](const QString& text) { told = text; }, actions);
        QSignalSpy finished(&closing, &ConnectionClosing::finished);
        c.stop ? closing.stop(row) : closing.close(row);
        ASSERT_TRUE(finished.wait(5000));
        EXPECT_EQ(finished.at(0).at(0).toString().toStdString(), actionFailureText(c.told, c.stop));
        using Commands = std::vector<std::vector<std::string>>;
        EXPECT_EQ(commands, c.expectedCommand.empty() ? Commands() : Commands(1, c.expectedCommand));
    }
}

TEST(ConnectionClosing, AWatchedAgentIsAskedThroughSetAndItsSilenceIsNoSuccess)
{
    bool local = false;
    ConnectionClosing::Actions actions = ConnectionClosing::localActions();
    actions.close = [&](const GridRowDetails&) {
        local = true;
        return ActionOutcome::Done;
    };
    ConnectionClosing closing(
        nullptr, [](const QString&) {}, actions);
    closing.setRemote(ConnectionClosing::WriteAccess { "udp:127.0.0.1:9", "-v2c -c wr1te -t 0.3 -r 0" });
    QSignalSpy finished(&closing, &ConnectionClosing::finished);
    closing.close(GridRowDetails { "127.0.0.1", "127.0.0.1", 22, 40000 });
    ASSERT_TRUE(finished.wait(5000));
    const QString failure = finished.at(0).at(0).toString();
    EXPECT_TRUE(failure.contains(u"udp:127.0.0.1:9"_qs)) << failure.toStdString();
    EXPECT_FALSE(failure.contains(u"wr1te"_qs)) << failure.toStdString();
    EXPECT_FALSE(local);
}

TEST(ConnectionClosing, RunsTheCommandWithoutAShellAndEndsItWhenTheWindowGoes)
{
    const auto run = ConnectionClosing::localActions().run;
    EXPECT_EQ(run({ "/bin/false" }, {}), 1);
    EXPECT_EQ(run({ "/nonexistent/pkexec", "x" }, {}), 127);
    // Children reaped by the system: their end is unknown, and /bin/true's 0 is no success.
    const auto before = std::signal(SIGCHLD, SIG_IGN);
    EXPECT_EQ(run({ "/bin/true" }, {}), static_cast<int>(ActionOutcome::Failed));
    std::signal(SIGCHLD, before);
    std::stop_source quitting;
    quitting.request_stop();
    EXPECT_EQ(run({ "/bin/sleep", "30" }, quitting.get_token()), 126);
}

} // namespace
