// The fleet feed's poll thread against the threads that read it: the listener is called as
// polls are taken in and never once it has been cleared, and snapshots are taken meanwhile.
#include "scan/fleet_feed.h"
#include "tests/common/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(FleetFeedThreads, AClearedListenerIsNeverCalledAgain)
{
    // Options that cannot be read fail each poll at once, asking nobody: polls without a network.
    const FleetPoller::Agent unreadable { "udp:127.0.0.1:9", {}, "invalid SNMP options for udp:127.0.0.1:9" };
    FleetFeed feed({ unreadable, unreadable }, 500);
    std::atomic<int> calls = 0;
    std::atomic<bool> cleared = false;
    std::atomic<bool> calledAfterClearing = false;
    feed.setListener([&] {
        ++calls;
        calledAfterClearing = calledAfterClearing || cleared;
    });
    ASSERT_TRUE(waitUntil([&] {
        const auto computers = feed.snapshot();
        return calls >= 4 && computers[1].status.state == AgentState::Stale;
    })) << "two rounds of both agents' polls";
    EXPECT_EQ(feed.snapshot()[0].status.error, unreadable.rejection);
    EXPECT_EQ(feed.snapshot()[0].lastGood, nullptr) << "a failed poll is no good one";

    feed.setListener({});
    cleared = true;
    const int before = calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // two more rounds
    EXPECT_FALSE(calledAfterClearing);
    EXPECT_EQ(calls, before);
}

} // namespace
