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
    int calls = 0;
    bool otherThread = false;
    const int result = platform::WaitingFor(
        [&] {
            worker = std::this_thread::get_id();
            std::this_thread::sleep_for(450ms);
            return 42;
        },
        [&] {
            ++calls;
            otherThread = otherThread || std::this_thread::get_id() != caller;
        });
    EXPECT_EQ(result, 42);
    EXPECT_GE(calls, 2);
    EXPECT_LE(calls, 6);
    EXPECT_FALSE(otherThread);
    EXPECT_NE(worker, caller) << "the work must not block the caller";
}

TEST(WaitingFor, WithoutCallbackWorksOnTheCallersThread)
{
    std::thread::id worker;
    EXPECT_EQ(platform::WaitingFor([&] { worker = std::this_thread::get_id(); return 7; }, {}), 7);
    EXPECT_EQ(worker, std::this_thread::get_id());
}

// The work uses the caller's data; an error from the callback must not leave
// it running on data that is about to go away.
TEST(WaitingFor, ErrorFromTheCallbackWaitsForTheWorkFirst)
{
    std::atomic<bool> finished{false};
    EXPECT_THROW(platform::WaitingFor(
                     [&] {
                         std::this_thread::sleep_for(300ms);
                         finished = true;
                         return true;
                     },
                     [] { throw std::runtime_error("window gone"); }),
                 std::runtime_error);
    EXPECT_TRUE(finished);
}

}  // namespace
