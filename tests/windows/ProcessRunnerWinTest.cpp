// The process runner starting the stand-in gbak.exe through CreateProcessA.
#include "platform/ProcessRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"

namespace {

using platform::CommandArguments;

TEST(WinProcessRunner, ReportsTheFull32BitExitCode)
{
    const struct {
        const char* name;
        const char* script;
        std::uint32_t exitCode;
    } cases[] = {
        {"success", "exit 0", 0},
        {"failure", "exit 1", 1},
        {"highest byte", "exit 255", 255},
        {"top bit set", "exit 0x80000001", 0x80000001u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        StandInGbak gbak(dir.Path() + "\\Firebird", {c.script});
        auto runner = platform::CreateProcessRunner();
        const int handlesBefore = OwnHandleCount();
        const platform::ProcessOutcome outcome = runner->Run({{gbak.ProgramPath(), true}, {"-z", false}});
        EXPECT_TRUE(outcome.started);
        EXPECT_TRUE(outcome.exited);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_EQ(gbak.Calls().size(), 1u);
        // Process and thread handles are both closed.
        EXPECT_EQ(OwnHandleCount(), handlesBefore);
    }
}

TEST(WinProcessRunner, ProgramThatCannotStartIsNotWaitedFor)
{
    TempDir dir;
    const std::string notAProgram = dir.Path() + "\\gbak.exe";
    WriteFileBytes(notAProgram, "not a program");
    const struct {
        const char* name;
        std::string program;
    } cases[] = {
        {"missing program", dir.Path() + "\\Bin\\gbak.exe"},
        {"file that is no program", notAProgram},
    };
    for (const auto& c : cases) {
        auto runner = platform::CreateProcessRunner();
        const platform::ProcessOutcome outcome = runner->Run({{c.program, true}, {"-b", false}});
        EXPECT_FALSE(outcome.started) << c.name;
        EXPECT_FALSE(outcome.exited) << c.name;
    }
}

TEST(WinProcessRunner, PathsWithSpacesArriveAsSingleArgumentsExactly)
{
    TempDir dir;
    StandInGbak gbak(dir.Path() + "\\Firebird Server 3", {"exit 0"});
    const std::string database = dir.Path() + "\\My Base\\MAIN 1.fdb";
    const std::string backup = dir.Path() + "\\My Base\\MAIN 1.fdk";
    const CommandArguments arguments = {
        {gbak.ProgramPath(), true}, {"-b", false},    {"-g", false},     {database, true},
        {backup, true},             {"-user", false}, {"SYSDBA", false}, {"-pass", false},
        {"plumtiger", false},
    };
    auto runner = platform::CreateProcessRunner();
    ASSERT_EQ(runner->Run(arguments).exitCode, 0u);

    const std::vector<StandInGbak::Call> calls = gbak.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].commandLine, platform::WindowsCommandLine(arguments));
    std::vector<std::string> expected;
    for (const auto& argument : arguments)
        expected.push_back(argument.text);
    EXPECT_EQ(calls[0].arguments, expected);
}

}  // namespace
