#include "platform/ProcessRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using platform::CommandArguments;
using platform::ProcessOutcome;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Our standard error (the support log) sent to a file for as long as the
// object lives, so that a test can read what went there.
class StandardErrorToFile {
public:
    explicit StandardErrorToFile(const std::string& path) : saved_(dup(2))
    {
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (saved_ < 0 || file < 0 || dup2(file, 2) < 0)
            throw std::runtime_error("cannot send standard error to " + path);
        close(file);
    }
    ~StandardErrorToFile()
    {
        dup2(saved_, 2);
        close(saved_);
    }
    StandardErrorToFile(const StandardErrorToFile&) = delete;
    StandardErrorToFile& operator=(const StandardErrorToFile&) = delete;

private:
    int saved_;
};

// The probe's first line of output: its process and group.
struct ProbeIds {
    pid_t pid = 0;
    pid_t group = 0;
};
std::optional<ProbeIds> ProbeIdsIn(const std::string& output)
{
    long pid = 0;
    long group = 0;
    const std::string::size_type at = output.find("probe pid ");
    if (at == std::string::npos || std::sscanf(output.c_str() + at, "probe pid %ld pgid %ld", &pid, &group) != 2)
        return std::nullopt;
    return ProbeIds{static_cast<pid_t>(pid), static_cast<pid_t>(group)};
}

// What the probe's "chatter N" writes after its first line.
std::string Chatter(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%s %06d\n", i % 2 == 0 ? "out" : "err", i);
        text += line;
    }
    return text;
}

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
    // execve, unlike a shell, runs no script without an interpreter line.
    WriteFileBytes(dir.File("no known format"), "exit 0\n");
    chmod(dir.File("no known format").c_str(), 0755);
    WriteFileBytes(dir.File("missing interpreter"), "#!/nonexistent/sh\nexit 0\n");
    chmod(dir.File("missing interpreter").c_str(), 0755);
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
        {"executable in no known format", {{dir.File("no known format"), true}}, false, false, 0},
        {"script whose interpreter is missing", {{dir.File("missing interpreter"), true}}, false, false, 0},
        {"bare name is not searched in PATH", {{"true"}}, false, false, 0},
        {"no program at all", {}, false, false, 0},
    };
    const auto runner = platform::CreateProcessRunner();
    for (const auto& c : cases) {
        const ProcessOutcome outcome = runner->Run(c.arguments);
        EXPECT_EQ(outcome.started, c.started) << c.name;
        EXPECT_EQ(outcome.exited, c.exited) << c.name;
        EXPECT_EQ(outcome.outputTail.empty(), !c.started) << c.name;
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
    // Ends once its argument names a file, which the callback makes at its
    // third call; after a minute without it, it ends anyway.
    const std::string untilGo = dir.File("until go");
    const std::string go = dir.File("go");
    WriteFileBytes(untilGo, "#!/bin/sh\nfor _ in $(seq 1200); do [ -e \"$1\" ] && exit 0; sleep 0.05; done\n");
    chmod(untilGo.c_str(), 0755);
    const struct {
        const char* name;
        CommandArguments arguments;
        bool callBack;
        int fewestCalls;
    } cases[] = {
        {"child runs until the third call", {{untilGo, true}, {go, true}}, true, 3},
        {"child ends at once", {{CHILD_PROBE, true}, {report}, {"exit 0"}}, true, 0},
        {"no callback asked for", {{CHILD_PROBE, true}, {report}, {"sleep 300"}}, false, 0},
    };
    const auto runner = platform::CreateProcessRunner();
    for (const auto& c : cases) {
        int calls = 0;
        bool otherThread = false;
        const std::thread::id caller = std::this_thread::get_id();
        platform::WhileWaiting whileWaiting;
        if (c.callBack)
            whileWaiting = [&](platform::BytesSoFar) {
                if (++calls == 3)
                    WriteFileBytes(go, "");
                otherThread = otherThread || std::this_thread::get_id() != caller;
                return true;
            };
        const auto started = Clock::now();
        const ProcessOutcome outcome = runner->Run(c.arguments, whileWaiting);
        const auto waited = Clock::now() - started;
        EXPECT_TRUE(outcome.started && outcome.exited && outcome.exitCode == 0) << c.name;
        EXPECT_GE(calls, c.fewestCalls) << c.name;
        // None before the first interval has passed, then one an interval
        // at most: a busy machine makes the calls later and fewer, never
        // more frequent.
        EXPECT_LE(calls, waited / platform::WhileWaitingInterval) << c.name;
        EXPECT_FALSE(otherThread) << c.name;
    }
}

// The waiter learns what the child has read, and a waiter that asks to stop
// has the child killed at once.
TEST(PosixProcessRunner, TellsTheWaiterWhatTheChildReadAndStopsItWhenAsked)
{
    TempDir dir;
    const std::string report = dir.File("report");
    const auto runner = platform::CreateProcessRunner();
    const struct {
        const char* name;
        const char* action;
        bool stop;
        std::uint64_t fewestBytesSeen;
    } cases[] = {
        {"reads 24 MiB", "read 24", false, 24u << 20},
        {"stopped while it sleeps for a minute", "sleep 60000", true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint64_t mostSeen = 0;
        bool goingBack = false;
        const auto started = std::chrono::steady_clock::now();
        const ProcessOutcome outcome =
            runner->Run({{CHILD_PROBE, true}, {report}, {c.action}}, [&](platform::BytesSoFar bytes) {
                if (bytes) {
                    goingBack = goingBack || *bytes < mostSeen;
                    mostSeen = std::max(mostSeen, *bytes);
                }
                // The reading child ends once it has been seen to read it all.
                if (c.fewestBytesSeen > 0 && mostSeen >= c.fewestBytesSeen)
                    WriteFileBytes(report + ".seen", "");
                return !c.stop;
            });
        EXPECT_TRUE(outcome.started);
        EXPECT_EQ(outcome.stopped, c.stop);
        EXPECT_EQ(outcome.exited, !c.stop);
        EXPECT_GE(mostSeen, c.fewestBytesSeen);
        EXPECT_FALSE(goingBack);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    }
}

// The argv the child gets are the argument texts, whether the Windows line
// quotes them or not; it shares our folder and environment, its standard
// input leads to /dev/null, its output and errors to our standard error (the
// support log) by way of one pipe, which also fills the outcome's tail, and
// nothing else of ours leaks into it.
TEST(PosixProcessRunner, ChildGetsTheArgumentsAndNothingElse)
{
    TempDir dir;
    const std::string report = dir.File("report");
    // A descriptor without close-on-exec, as a library might leave one.
    const int leaky = open(dir.File("leaky").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(leaky, 0);
    ASSERT_EQ(setenv("QUENOR_PROBE", "inherited value", 1), 0);
    const CommandArguments arguments = {
        {CHILD_PROBE, true}, {report, true}, {"exit 0"},    {"D:\\Base dir\\MAIN.fdb", true},
        {"-user"},           {""},           {"\"quoted\""}};

    const std::string standardError = dir.File("standard error");
    std::optional<StandardErrorToFile> logging(standardError);
    const ProcessOutcome outcome = platform::CreateProcessRunner()->Run(arguments);
    logging.reset();
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
    const std::set<std::string> descriptors = Lines(seen, "fd ");
    ASSERT_EQ(descriptors.size(), 3u);
    auto descriptor = descriptors.begin();
    EXPECT_EQ(*descriptor, "0 /dev/null");
    const std::string output = (++descriptor)->substr(2);
    EXPECT_EQ(output.rfind("pipe:", 0), 0u) << output;
    EXPECT_EQ(*++descriptor, "2 " + output);
    EXPECT_TRUE(ProbeIdsIn(outcome.outputTail)) << outcome.outputTail;
    EXPECT_EQ(ReadFileBytes(standardError), outcome.outputTail);
}

// A Ctrl+C or a hang-up sent to the tool's process group must not reach
// gbak, which would break off the restore the tool is about to finish.
TEST(PosixProcessRunner, ChildLeadsAProcessGroupOfItsOwn)
{
    TempDir dir;
    const ProcessOutcome outcome =
        platform::CreateProcessRunner()->Run({{CHILD_PROBE, true}, {dir.File("report")}, {"exit 0"}});
    ASSERT_TRUE(outcome.started && outcome.exited && outcome.exitCode == 0);
    const std::optional<ProbeIds> ids = ProbeIdsIn(outcome.outputTail);
    ASSERT_TRUE(ids) << outcome.outputTail;
    EXPECT_EQ(ids->group, ids->pid);
    EXPECT_NE(ids->group, getpgrp());
}

// gbak's last words tell why it failed, however much it wrote before them;
// a child writing more than a pipe holds runs to its end, whether or not
// the runner calls back, and all of it reaches the support log.
TEST(PosixProcessRunner, KeepsTheEndOfWhatTheChildWrote)
{
    const struct {
        const char* name;
        int lines;
        bool callBack;
    } cases[] = {
        {"a few lines", 3, false},
        {"far more than is kept, calling back", 20'000, true},
        {"far more than is kept, not calling back", 20'000, false},
    };
    const auto runner = platform::CreateProcessRunner();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string standardError = dir.File("standard error");
        const std::string chatter = Chatter(c.lines);
        platform::WhileWaiting whileWaiting;
        if (c.callBack)
            whileWaiting = [](platform::BytesSoFar) { return true; };
        std::optional<StandardErrorToFile> logging(standardError);
        const ProcessOutcome outcome = runner->Run(
            {{CHILD_PROBE, true}, {dir.File("report")}, {"chatter " + std::to_string(c.lines)}}, whileWaiting);
        logging.reset();

        ASSERT_TRUE(outcome.started && outcome.exited && outcome.exitCode == 0);
        const std::string logged = ReadFileBytes(standardError);
        ASSERT_TRUE(ProbeIdsIn(logged)) << logged.substr(0, 100);
        EXPECT_EQ(logged.substr(logged.find('\n') + 1), chatter);
        if (logged.size() <= platform::OutputTailLimit) {
            EXPECT_EQ(outcome.outputTail, logged);
        } else {
            EXPECT_EQ(outcome.outputTail.size(), platform::OutputTailLimit);
            EXPECT_EQ(outcome.outputTail, logged.substr(logged.size() - platform::OutputTailLimit));
        }
    }
}

// However the tool ends, gbak goes with it rather than holding the database
// files on its own. This test adopts the orphaned child (a subreaper), so
// it can see how the child ended.
TEST(PosixProcessRunner, ChildDoesNotOutliveTheTool)
{
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const int killedBy[] = {SIGKILL, SIGTERM};
    for (const int signal : killedBy) {
        SCOPED_TRACE("tool killed by signal " + std::to_string(signal));
        TempDir dir;
        int logEnds[2];
        ASSERT_EQ(pipe2(logEnds, O_CLOEXEC), 0);
        std::string report = dir.File("report");
        std::string host = RUNNER_HOST;
        std::string probe = CHILD_PROBE;
        std::string action = "sleep 60000";
        char* argv[] = {host.data(), probe.data(), report.data(), action.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, logEnds[1], 2);
        pid_t tool = 0;
        const int failed = posix_spawn(&tool, host.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(logEnds[1]);
        ASSERT_EQ(failed, 0);

        // The probe says who it is on the tool's standard error.
        std::string logged;
        std::optional<ProbeIds> ids;
        for (const auto end = Clock::now() + 20s; !ids && Clock::now() < end;) {
            pollfd readable{logEnds[0], POLLIN, 0};
            if (poll(&readable, 1, 100) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = read(logEnds[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            logged.append(buffer, static_cast<std::size_t>(n));
            if (logged.find('\n') != std::string::npos)
                ids = ProbeIdsIn(logged);
        }
        close(logEnds[0]);
        kill(tool, signal);
        int toolStatus = 0;
        waitpid(tool, &toolStatus, 0);
        ASSERT_TRUE(ids) << "the probe never said who it is: " << logged;
        EXPECT_TRUE(WIFSIGNALED(toolStatus) && WTERMSIG(toolStatus) == signal);

        std::optional<int> probeStatus;
        for (const auto end = Clock::now() + 30s; !probeStatus && Clock::now() < end;) {
            int status = 0;
            if (waitpid(ids->pid, &status, WNOHANG) == ids->pid)
                probeStatus = status;
            else
                std::this_thread::sleep_for(10ms);
        }
        if (!probeStatus) {
            ADD_FAILURE() << "the child outlived the tool";
            kill(ids->pid, SIGKILL);
            waitpid(ids->pid, nullptr, 0);
            continue;
        }
        EXPECT_TRUE(WIFSIGNALED(*probeStatus) && WTERMSIG(*probeStatus) == SIGKILL) << *probeStatus;
    }
}

}  // namespace
