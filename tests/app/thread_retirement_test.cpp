// Work let go of by the GUI thread ends elsewhere, and all of it before the program ends.
#include "app/thread_retirement.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace {

TEST(ThreadRetirement, RetiringNeverWaitsForTheEndingAndTheEndJoinsIt)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> ended = 0;
    {
        ThreadRetirement retirement;
        // Were retire to wait for its ending, it would wait for ever: the release comes after.
        retirement.retire([released, &ended] {
            released.wait();
            ++ended;
        });
        retirement.retire([&ended] { ++ended; });
        EXPECT_LE(ended.load(), 1);
        release.set_value();
    }
    EXPECT_EQ(ended.load(), 2);
}

} // namespace
