// The run journal's lock on Windows: the journal opened without sharing, in
// this process and against another one.
#include "platform/RunJournal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/UniqueHandleWin.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"

namespace {

using platform::ClaimOutcome;

bool FileThere(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(WinRunJournal, OneClaimAtATimeAndWhatWasWrittenLastOutlivesTheRun)
{
    TempDir dir;
    const std::string path = dir.Path() + "\\MAIN.fdb.quenor-journal";
    const std::string last = std::string("Changing 7:1:2\r\n\0\x1a", 18);
    const int handlesBefore = OwnHandleCount();
    {
        platform::JournalClaim first = platform::ClaimRunJournal(path);
        ASSERT_EQ(first.outcome, ClaimOutcome::Claimed);
        ASSERT_NE(first.journal, nullptr);
        EXPECT_EQ(first.journal->Found(), "");
        // The shorter entry must not keep the longer one's tail.
        EXPECT_TRUE(first.journal->Write("Copying, a longer entry than the last one\n"));
        EXPECT_TRUE(first.journal->Write(last));

        const platform::JournalClaim second = platform::ClaimRunJournal(path);
        EXPECT_EQ(second.outcome, ClaimOutcome::HeldByAnotherRun);
        EXPECT_EQ(second.journal, nullptr);
    }  // the first run dies without removing its journal

    platform::JournalClaim next = platform::ClaimRunJournal(path);
    ASSERT_EQ(next.outcome, ClaimOutcome::Claimed);
    EXPECT_EQ(next.journal->Found(), last);
    EXPECT_TRUE(next.journal->Remove());
    EXPECT_FALSE(FileThere(path));

    platform::JournalClaim afterRemove = platform::ClaimRunJournal(path);
    ASSERT_EQ(afterRemove.outcome, ClaimOutcome::Claimed);
    EXPECT_EQ(afterRemove.journal->Found(), "");

    next.journal.reset();
    afterRemove.journal.reset();
    EXPECT_EQ(OwnHandleCount(), handlesBefore);
}

TEST(WinRunJournal, AClaimThatCannotOpenTheFileSaysWhy)
{
    TempDir dir;
    CreateDirectoryA((dir.Path() + "\\folder").c_str(), nullptr);
    const struct {
        const char* name;
        std::string path;
        platform::FileError error;
    } cases[] = {
        {"folder missing", dir.Path() + "\\missing\\MAIN.fdb.quenor-journal", platform::FileError::NotFound},
        {"a folder at the path", dir.Path() + "\\folder", platform::FileError::AccessDenied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const platform::JournalClaim claim = platform::ClaimRunJournal(c.path);
        EXPECT_EQ(claim.outcome, ClaimOutcome::Failed);
        EXPECT_EQ(claim.journal, nullptr);
        EXPECT_EQ(claim.failure.error, c.error);
    }
    EXPECT_FALSE(FileThere(dir.Path() + "\\missing"));
}

// journal_holder.exe (JournalHolder.cpp) started from beside the test
// program; terminated when the object goes away, so none outlives a test.
class OtherRun {
public:
    explicit OtherRun(const std::string& arguments)
    {
        std::string commandLine = "\"" + TestProgramFolder() + "journal_holder.exe\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &started)) {
            const platform::UniqueHandle thread(started.hThread);
            process_ = platform::UniqueHandle(started.hProcess);
        }
    }
    ~OtherRun()
    {
        if (!process_.Valid())
            return;
        TerminateProcess(process_.Get(), 9);
        WaitForSingleObject(process_.Get(), 10000);
    }
    OtherRun(const OtherRun&) = delete;
    OtherRun& operator=(const OtherRun&) = delete;

    bool Started() const { return process_.Valid(); }
    HANDLE Process() const { return process_.Get(); }
    // The exit code, or STILL_ACTIVE when it has not ended in time.
    DWORD Ended(DWORD milliseconds) const
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.Get(), milliseconds) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    platform::UniqueHandle process_;
};

TEST(WinRunJournal, TheLockGoesWithTheProcessThatHoldsIt)
{
    TempDir dir;
    const std::string path = dir.Path() + "\\MAIN.fdb.quenor-journal";
    const std::string written = "Changing 42:0:17";
    const std::string eventName = "quenor-journal-ready-" + std::to_string(GetCurrentProcessId());
    platform::UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(ready.Valid());
    {
        OtherRun holder("hold \"" + path + "\" \"" + written + "\" " + eventName);
        ASSERT_TRUE(holder.Started());
        const HANDLE waitFor[] = {ready.Get(), holder.Process()};
        const DWORD woke = WaitForMultipleObjects(2, waitFor, FALSE, 30000);
        ASSERT_EQ(woke, WAIT_OBJECT_0) << "the other run ended with " << holder.Ended(0);

        EXPECT_EQ(platform::ClaimRunJournal(path).outcome, ClaimOutcome::HeldByAnotherRun);
        ASSERT_TRUE(TerminateProcess(holder.Process(), 9));
        ASSERT_EQ(holder.Ended(10000), 9u);
    }
    ready.Reset();

    platform::JournalClaim mine = platform::ClaimRunJournal(path);
    ASSERT_EQ(mine.outcome, ClaimOutcome::Claimed);
    EXPECT_EQ(mine.journal->Found(), written);
    {
        OtherRun claimer("claim \"" + path + "\"");
        ASSERT_TRUE(claimer.Started());
        EXPECT_EQ(claimer.Ended(30000), 1u) << "1: held by another run";
    }
    mine.journal.reset();
    OtherRun claimer("claim \"" + path + "\"");
    ASSERT_TRUE(claimer.Started());
    EXPECT_EQ(claimer.Ended(30000), 0u) << "0: claimed";
}

}  // namespace
