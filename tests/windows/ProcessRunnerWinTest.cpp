// The process runner starting the stand-in gbak.exe, and child_probe.exe
// (ChildProbeWin.cpp) and runner_host.exe (tests/platform/RunnerHost.cpp)
// from beside the test program, through CreateProcessA.
#include "platform/ProcessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"

namespace {

using platform::CommandArguments;

std::string ChildProbe()
{
    return TestProgramFolder() + "child_probe.exe";
}

// What child_probe's "chatter N" writes.
std::string Chatter(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%s %06d", i % 2 == 0 ? "out" : "err", i);
        std::string padded = line;
        padded.resize(99, '.');
        text += padded + "\n";
    }
    return text;
}

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
        EXPECT_LE(OwnHandleCountSettledAt(handlesBefore), handlesBefore);
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
        {gbak.ProgramPath(), true}, {"-b", false},     {"-g", false},    {database, true},     {backup, true},
        {"-user", false},           {"SYSDBA", false}, {"-pass", false}, {"plumtiger", false},
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

// gbak must not go on with the database files once the tool is gone,
// however it ended: the tool's stand-in, killed while its child sleeps,
// takes the child with it.
TEST(WinProcessRunner, ChildDoesNotOutliveTheTool)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE logRead = nullptr;
    HANDLE logWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&logRead, &logWrite, &inheritable, 0));
    SetHandleInformation(logRead, HANDLE_FLAG_INHERIT, 0);
    std::string commandLine = platform::WindowsCommandLine(
        {{TestProgramFolder() + "runner_host.exe", true}, {ChildProbe(), true}, {"sleep"}, {"60000"}});
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = logWrite;
    startup.hStdError = logWrite;
    PROCESS_INFORMATION tool{};
    const bool started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &tool) != 0;
    CloseHandle(logWrite);
    if (!started)
        CloseHandle(logRead);
    ASSERT_TRUE(started);
    CloseHandle(tool.hThread);

    // The child says who it is on the tool's support log.
    std::string logged;
    DWORD childId = 0;
    for (const DWORD end = GetTickCount() + 60'000; childId == 0 && GetTickCount() < end;) {
        DWORD available = 0;
        if (!PeekNamedPipe(logRead, nullptr, 0, nullptr, &available, nullptr))
            break;
        if (available == 0) {
            Sleep(20);
            continue;
        }
        char buffer[256];
        DWORD got = 0;
        if (!ReadFile(logRead, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr))
            break;
        logged.append(buffer, got);
        if (logged.find('\n') != std::string::npos)
            childId = static_cast<DWORD>(std::strtoul(logged.c_str() + logged.find("pid ") + 4, nullptr, 10));
    }
    const HANDLE child = childId != 0 ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, childId) : nullptr;
    TerminateProcess(tool.hProcess, 9);
    WaitForSingleObject(tool.hProcess, 30'000);
    CloseHandle(tool.hProcess);
    CloseHandle(logRead);
    ASSERT_NE(child, nullptr) << "the child never said who it is: " << logged;

    // Wine's server ends the job's processes in its own time on a busy machine.
    const bool ended = WaitForSingleObject(child, 30'000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(child, 1);
    CloseHandle(child);
    EXPECT_TRUE(ended) << "the child outlived the tool";
}

// gbak's last words tell why it failed, however much it wrote before them;
// both its streams are kept in the order written, and a child writing more
// than a pipe holds runs to its end, whether or not the runner calls back.
TEST(WinProcessRunner, KeepsTheEndOfWhatTheChildWrote)
{
    const struct {
        const char* name;
        int lines;
        bool callBack;
    } cases[] = {
        {"a few lines", 3, false},
        {"far more than is kept, calling back", 2'000, true},
        {"far more than is kept, not calling back", 2'000, false},
    };
    const auto runner = platform::CreateProcessRunner();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string written = Chatter(c.lines);
        platform::WhileWaiting whileWaiting;
        if (c.callBack)
            whileWaiting = [](platform::BytesSoFar) { return true; };
        const platform::ProcessOutcome outcome =
            runner->Run({{ChildProbe(), true}, {"chatter"}, {std::to_string(c.lines)}}, whileWaiting);
        ASSERT_TRUE(outcome.started && outcome.exited);
        EXPECT_EQ(outcome.exitCode, 0u);
        if (written.size() <= platform::OutputTailLimit) {
            EXPECT_EQ(outcome.outputTail, written);
        } else {
            EXPECT_EQ(outcome.outputTail.size(), platform::OutputTailLimit);
            EXPECT_EQ(outcome.outputTail, written.substr(written.size() - platform::OutputTailLimit));
        }
    }
}

}  // namespace
