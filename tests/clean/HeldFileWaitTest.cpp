#include "clean/HeldFileWait.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/RecordingTrace.h"

namespace {

using namespace std::chrono_literals;

TEST(HeldFileWait, TheBoundIsTheLingerAndTenSecondsNeverOverAMinute)
{
    const struct {
        int linger;
        std::chrono::milliseconds bound;
    } cases[] = {{0, 10s}, {-5, 10s}, {30, 40s}, {50, 60s}, {32767, 60s}};
    for (const auto& c : cases)
        EXPECT_EQ(HeldFileWaitBound(c.linger), c.bound) << c.linger;
}

// Each attempt answers in turn from `answers`, the last one for ever after.
struct Attempts {
    std::vector<platform::FileError> answers;
    int made = 0;
    platform::FileResult operator()()
    {
        const platform::FileError answer = answers[std::min<std::size_t>(made, answers.size() - 1)];
        ++made;
        return {answer, 0};
    }
};

TEST(HeldFileWait, RetriesOnlyWhileHeldAndOnlyAsLongAsTheBoundOrTheTickAllow)
{
    using platform::FileError;
    const struct {
        const char* name;
        std::vector<FileError> answers;
        std::chrono::milliseconds bound;
        bool tickGoesOn;
        FileError result;
        bool lineTraced;
        bool boundAsked;
    } cases[] = {
        {"free at once: no line, the bound not even asked", {FileError::None}, 10s, true, FileError::None, false,
         false},
        {"another failure is not waited out", {FileError::AccessDenied}, 10s, true, FileError::AccessDenied, false,
         false},
        {"released after two tries", {FileError::Held, FileError::Held, FileError::None}, 10s, true, FileError::None,
         true, true},
        {"held beyond the bound", {FileError::Held}, 300ms, true, FileError::Held, true, true},
        {"the tick ends the wait", {FileError::Held}, 10s, false, FileError::Stopped, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingTrace trace;
        Attempts attempts{c.answers};
        bool boundAsked = false;
        const auto started = std::chrono::steady_clock::now();

        const platform::FileResult result = RetryWhileHeld(
            trace,
            [&] {
                boundAsked = true;
                return c.bound;
            },
            [&] { return c.tickGoesOn; }, std::ref(attempts));

        EXPECT_EQ(result.error, c.result);
        EXPECT_EQ(!trace.lines.empty(), c.lineTraced);
        EXPECT_EQ(boundAsked, c.boundAsked);
        if (c.result == FileError::Held) {
            EXPECT_GE(std::chrono::steady_clock::now() - started, c.bound);
        }
    }
}

}  // namespace
