#include "platform/ProcessRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

using platform::CommandArguments;
using platform::ProcessOutcome;

std::set<std::string> Lines(const std::string& text, const std::string& prefix)
{
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.insert(line.substr(prefix.size()));
    return lines;
}

TEST(PosixProcessRunner, ReportsHowTheChildEnded)
{
    TempDir dir;
    const std::string report = dir.File("report");
    WriteFileBytes(dir.File("not-executable"), "#!/bin/sh\nexit 0\n");
    chmod(dir.File("not-executable").c_str(), 0644);
    const struct {
        const char* name;
        CommandArguments arguments;
        bool started;
        bool exited;
        std::uint32_t exitCode;
    } cases[] = {
        {"exit 0", {{CHILD_PROBE, true}, {report}, {"exit 0"}}, true, true, 0},
        {"exit 1", {{CHILD_PROBE, true}, {report}, {"exit 1"}}, true, true, 1},
        {"exit 255", {{CHILD_PROBE, true}, {report}, {"exit 255"}}, true, true, 255},
        {"killed by a signal", {{CHILD_PROBE, true}, {report}, {"signal 9"}}, true, false, 0},
        {"terminated by a signal", {{CHILD_PROBE, true}, {report}, {"signal 15"}}, true, false, 0},
        {"missing program", {{dir.File("no such program"), true}}, false, false, 0},
        {"file without execute permission", {{dir.File("not-executable"), true}}, false, false, 0},
        {"a folder", {{dir.Path(), true}}, false, false, 0},
        {"bare name is not searched in PATH", {{"true"}}, false, false, 0},
        {"no program at all", {}, false, false, 0},
    };
    const auto runner = platform::CreateProcessRunner();
    for (const auto& c : cases) {
        const ProcessOutcome outcome = runner->Run(c.arguments);
        EXPECT_EQ(outcome.started, c.started) << c.name;
        EXPECT_EQ(outcome.exited, c.exited) << c.name;
        if (c.exited) {
            EXPECT_EQ(outcome.exitCode, c.exitCode) << c.name;
        }
    }
}

// A window waits for gbak on its own thread and must keep painting there:
// the runner calls back on that thread every interval until the child ends,
// and not at all for a child that ends at once or when nobody asked.
TEST(PosixProcessRunner, CallsBackOnTheWaitingThreadWhileTheChildRuns)
{
    TempDir dir;
    const std::string report = dir.File("report");
    const struct {
        const char* name;
        const char* action;
        bool callBack;
        int fewestCalls;
        int mostCalls;
    } cases[] = {
        {"child runs 650 ms", "sleep 650", true, 3, 7},
        {"child ends at once", "exit 0", true, 0, 0},
        {"no callback asked for", "sleep 300", false, 0, 0},
    };
    const auto runner = platform::CreateProcessRunner();
    for (const auto& c : cases) {
        int calls = 0;
        bool otherThread = false;
        const std::thread::id caller = std::this_thread::get_id();
        platform::WhileWaiting whileWaiting;
        if (c.callBack)
            whileWaiting = [&] {
                ++calls;
                otherThread = otherThread || std::this_thread::get_id() != caller;
            };
        const ProcessOutcome outcome = runner->Run({{CHILD_PROBE, true}, {report}, {c.action}}, whileWaiting);
        EXPECT_TRUE(outcome.started && outcome.exited && outcome.exitCode == 0) << c.name;
        EXPECT_GE(calls, c.fewestCalls) << c.name;
        EXPECT_LE(calls, c.mostCalls) << c.name;
        EXPECT_FALSE(otherThread) << c.name;
    }
}

// The argv the child gets are the argument texts, whether the Windows line
// quotes them or not; it shares our folder and environment, its standard
// input leads to /dev/null, its output and errors to our standard error (the
// support log), and nothing else of ours leaks into it.
TEST(PosixProcessRunner, ChildGetsTheArgumentsAndNothingElse)
{
    TempDir dir;
    const std::string report = dir.File("report");
    // A descriptor without close-on-exec, as a library might leave one.
    const int leaky = open(dir.File("leaky").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(leaky, 0);
    ASSERT_EQ(setenv("QUENOR_PROBE", "inherited value", 1), 0);
    const CommandArguments arguments = {
        {CHILD_PROBE, true}, {report, true}, {"exit 0"}, {"D:\\Base dir\\MAIN.fdb", true}, {"-user"}, {""}, {"\"quoted\""}};

    const ProcessOutcome outcome = platform::CreateProcessRunner()->Run(arguments);
    close(leaky);
    unsetenv("QUENOR_PROBE");

    ASSERT_TRUE(outcome.started && outcome.exited && outcome.exitCode == 0);
    const std::string seen = ReadFileBytes(report);
    std::istringstream in(seen);
    std::vector<std::string> argv;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("arg ", 0) == 0)
            argv.push_back(line.substr(4));
    EXPECT_EQ(argv, (std::vector<std::string>{CHILD_PROBE, report, "exit 0", "D:\\Base dir\\MAIN.fdb", "-user", "",
                                              "\"quoted\""}));
    EXPECT_EQ(Lines(seen, "cwd "), std::set<std::string>{std::filesystem::current_path().string()});
    EXPECT_EQ(Lines(seen, "env "), std::set<std::string>{"inherited value"});
    const std::string ourStandardError = std::filesystem::read_symlink("/proc/self/fd/2").string();
    EXPECT_EQ(Lines(seen, "fd "),
              (std::set<std::string>{"0 /dev/null", "1 " + ourStandardError, "2 " + ourStandardError}));
}

}  // namespace
