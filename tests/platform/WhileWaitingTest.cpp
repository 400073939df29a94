#include "platform/WhileWaiting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(WaitingFor, CallsBackOnTheCallersThreadUntilTheWorkIsDone)
{
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id worker;
    std::atomic<int> calls{0};
    bool otherThread = false;
    const auto started = std::chrono::steady_clock::now();
    const int result = platform::WaitingFor(
        [&](platform::StepShare&) {
            worker = std::this_thread::get_id();
            // Lasts until the caller has been called back twice while it
            // waits, however late a busy machine lets those calls come.
            const auto giveUp = std::chrono::steady_clock::now() + 20s;
            while (calls < 3 && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(10ms);
            return 42;
        },
        [&](platform::BytesSoFar) {
            ++calls;
            otherThread = otherThread || std::this_thread::get_id() != caller;
            return true;
        });
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(result, 42);
    EXPECT_GE(calls.load(), 3);
    // One call before the work starts, then one an interval at most: a busy
    // machine makes the calls later and fewer, never more frequent.
    EXPECT_LE(calls.load(), 1 + waited / platform::WhileWaitingInterval);
    EXPECT_FALSE(otherThread);
    EXPECT_NE(worker, caller) << "the work must not block the caller";
}

TEST(WaitingFor, WithoutCallbackWorksOnTheCallersThread)
{
    std::thread::id worker;
    EXPECT_EQ(platform::WaitingFor(
                  [&](platform::StepShare&) {
                      worker = std::this_thread::get_id();
                      return 7;
                  },
                  {}),
              7);
    EXPECT_EQ(worker, std::this_thread::get_id());
}

// The work uses the caller's data; an error from the callback must not leave
// it running on data that is about to go away.
TEST(WaitingFor, ErrorFromTheCallbackWaitsForTheWorkFirst)
{
    std::atomic<bool> finished{false};
    std::atomic<int> calls{0};
    // The first call comes before the work starts; the second finds it
    // under way, however late it comes, and the work goes on a while after.
    EXPECT_THROW(platform::WaitingFor(
                     [&](platform::StepShare&) {
                         const auto giveUp = std::chrono::steady_clock::now() + 20s;
                         while (calls < 2 && std::chrono::steady_clock::now() < giveUp)
                             std::this_thread::sleep_for(10ms);
                         std::this_thread::sleep_for(300ms);
                         finished = true;
                         return true;
                     },
                     [&](platform::BytesSoFar) -> bool {
                         if (++calls == 2)
                             throw std::runtime_error("window gone");
                         return true;
                     }),
                 std::runtime_error);
    EXPECT_TRUE(finished);
}

// The waiter sees the work's bytes; its "stop" reaches the work, the stop
// action is repeated until the work ends, and the window keeps being called
// while the work winds down.
TEST(WaitingFor, TheWaitersStopReachesTheWorkUntilItEnds)
{
    std::atomic<int> stopActions{0};
    int callsAfterStop = 0;
    bool stopAsked = false;
    platform::BytesSoFar lastSeen;
    const bool stopped = platform::WaitingFor(
        [&](platform::StepShare& share) {
            share.bytes = 4096;
            while (!share.stop)
                std::this_thread::sleep_for(10ms);
            // Winding down takes until the stop action has come twice more,
            // however late a busy machine lets it come.
            const int before = stopActions;
            const auto giveUp = std::chrono::steady_clock::now() + 20s;
            while (stopActions < before + 2 && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(10ms);
            return true;
        },
        [&](platform::BytesSoFar bytes) {
            lastSeen = bytes;
            if (stopAsked)
                ++callsAfterStop;
            stopAsked = true;
            return false;
        },
        [&] { ++stopActions; });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(lastSeen, platform::BytesSoFar(4096));
    EXPECT_GE(stopActions.load(), 2);
    EXPECT_EQ(stopActions.load(), callsAfterStop);
}

}  // namespace
