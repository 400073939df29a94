// The program's real start-up, run as a child process, asked to end by a
// signal at the moments that matter: before any run, during the delete
// (client library loaded and attached), while gbak runs (sent to the program
// alone, or to its whole process group as a terminal's Ctrl+C or a logout
// does), and with the window idle after a run. Each time the run in progress
// must reach its end, the database must hold the cleaned rows, and the
// program must end with 0.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/FirebirdFolder.h"
#include "tests/app/RunLines.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/RunSummary.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A run long enough for a sanitized build on a busy machine, and what
// "promptly" means there for a program with nothing to finish (its exit
// includes LeakSanitizer's scan of the whole heap).
constexpr auto RunDeadline = 60s;
constexpr auto PromptDeadline = 30s;

// The driver program as a child whose output is read line by line; killed
// and reaped at the end of the test if it is still there.
class Driver {
public:
    Driver(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment)
    {
        int pipeEnds[2];
        if (pipe2(pipeEnds, O_CLOEXEC) != 0)
            throw std::runtime_error("no pipe");
        output_ = pipeEnds[0];

        std::vector<std::string> environment = extraEnvironment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string inherited = *entry;
            const std::string name = inherited.substr(0, inherited.find('=') + 1);
            bool overridden = false;
            for (const std::string& extra : extraEnvironment)
                overridden = overridden || extra.rfind(name, 0) == 0;
            if (!overridden)
                environment.push_back(inherited);
        }
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = {APPLICATION_DRIVER};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : args)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        // The child starts with the signals as a desktop would start it, even
        // where this test inherited them ignored or blocked, and in a process
        // group of its own, as a shell starts a job: a signal to its group
        // then spares this test.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigset_t ours;
        sigemptyset(&none);
        sigemptyset(&ours);
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&ours, signal);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &ours);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
        const int failed = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        if (failed != 0)
            throw std::runtime_error("cannot start the driver");
    }
    ~Driver()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(output_);
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Reads output up to and including the line `marker`; false when the
    // output ends or the deadline passes first.
    bool ReadUntil(const std::string& marker, std::chrono::seconds deadline)
    {
        const auto end = Clock::now() + deadline;
        for (;;) {
            for (std::string::size_type eol; (eol = pending_.find('\n')) != std::string::npos;) {
                lines_.push_back(pending_.substr(0, eol));
                pending_.erase(0, eol + 1);
                if (lines_.back() == marker)
                    return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left <= 0ms)
                return false;
            pollfd readable{output_, POLLIN, 0};
            if (poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(output_, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // How the child ended: a wait status, or nothing when it was still
    // running at the deadline.
    std::optional<int> Wait(std::chrono::seconds deadline)
    {
        const auto end = Clock::now() + deadline;
        for (;;) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return status;
            }
            if (Clock::now() >= end)
                return std::nullopt;
            usleep(20'000);
        }
    }

    void Signal(int signal) const { kill(pid_, signal); }

    // The trace pane's lines that the driver printed.
    std::vector<std::string> TraceLines() const
    {
        const std::string prefix = "line: ";
        std::vector<std::string> trace;
        for (const std::string& line : lines_)
            if (line.rfind(prefix, 0) == 0)
                trace.push_back(line.substr(prefix.size()));
        return trace;
    }

private:
    pid_t pid_ = 0;
    int output_ = -1;
    std::string pending_;
    std::vector<std::string> lines_;
};

std::string Describe(std::optional<int> status)
{
    if (!status)
        return "still running";
    if (WIFEXITED(*status))
        return "exit code " + std::to_string(WEXITSTATUS(*status));
    if (WIFSIGNALED(*status))
        return "killed by signal " + std::to_string(WTERMSIG(*status));
    return "status " + std::to_string(*status);
}

enum class Moment {
    BeforeAnyRun,        // the window is up, nothing loaded
    DuringDelete,        // inside isc_dsql_execute, client library attached
    WhileGbakRuns,       // sent by gbak to its parent, which waits for it
    GroupWhileGbakRuns,  // sent by gbak to its parent's process group
    AfterCompletedRun    // library loaded, window idle
};

// A Firebird folder whose gbak is the real one, or for the moments while gbak
// runs one that first sends `signal` to the program waiting for it or to that
// program's process group (which, should gbak share it, gbak's shell would
// not survive).
std::string FirebirdFolderFor(const TempDir& dir, int signal, Moment moment)
{
    if (moment != Moment::WhileGbakRuns && moment != Moment::GroupWhileGbakRuns)
        return ::FirebirdFolder(dir.File("firebird"), "");
    // The group is the third field after the program's name in
    // /proc/<pid>/stat; the name, in parentheses, may hold spaces.
    const std::string target = moment == Moment::WhileGbakRuns
                                   ? "\"$PPID\""
                                   : "-- \"-$(sed 's/.*) //' /proc/$PPID/stat | cut -d' ' -f3)\"";
    return ::FirebirdFolder(dir.File("firebird"),
                          "kill -s " + std::to_string(signal) + " " + target + "\nexec /usr/bin/gbak \"$@\"");
}

TEST(ShutdownSignal, EndsTheProgramOnlyAfterTheRunInProgress)
{
    const struct {
        const char* name;
        int signal;
        Moment moment;
    } cases[] = {
        {"SIGTERM before any run", SIGTERM, Moment::BeforeAnyRun},
        {"SIGTERM during the delete", SIGTERM, Moment::DuringDelete},
        {"SIGINT during the delete", SIGINT, Moment::DuringDelete},
        {"SIGHUP during the delete", SIGHUP, Moment::DuringDelete},
        {"SIGTERM while gbak runs", SIGTERM, Moment::WhileGbakRuns},
        {"SIGINT while gbak runs", SIGINT, Moment::WhileGbakRuns},
        {"SIGHUP while gbak runs", SIGHUP, Moment::WhileGbakRuns},
        {"SIGINT to the program's group while gbak runs", SIGINT, Moment::GroupWhileGbakRuns},
        {"SIGHUP to the program's group while gbak runs", SIGHUP, Moment::GroupWhileGbakRuns},
        {"SIGTERM after a completed run", SIGTERM, Moment::AfterCompletedRun},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string database = dir.File("MAIN.fdb");
        std::vector<std::string> arguments;
        // The child inherits this test's LSAN_OPTIONS, leak checks included.
        std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen",
                                                "FIREBIRD=" + FirebirdFolderFor(dir, c.signal, c.moment)};
        if (c.moment != Moment::BeforeAnyRun) {
            CreateFirebirdDatabase(database, std::string(QuenorLogTables) + RowsAroundTheFirstCutOff);
            arguments.push_back(database);
        }
        if (c.moment == Moment::DuringDelete) {
            arguments.push_back(SIGNAL_IN_EXECUTE_FBCLIENT);
            environment.push_back("QUENOR_SIGNAL_IN_EXECUTE=" + std::to_string(c.signal));
        }

        Driver driver(arguments, environment);
        if (!driver.ReadUntil("shown", RunDeadline)) {
            ADD_FAILURE() << "the window never came up";
            continue;
        }
        std::optional<int> status;
        if (c.moment == Moment::BeforeAnyRun) {
            driver.Signal(c.signal);
            status = driver.Wait(PromptDeadline);
        } else {
            if (!driver.ReadUntil("run over", RunDeadline)) {
                ADD_FAILURE() << "the run did not end: " << Describe(driver.Wait(PromptDeadline));
                continue;
            }
            if (c.moment == Moment::AfterCompletedRun)
                driver.Signal(c.signal);
            status = driver.Wait(PromptDeadline);
            EXPECT_EQ(WithoutSummary(driver.TraceLines()), SuccessfulRunLines);
            EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM log"), 2);
            EXPECT_EQ(QueryInteger(database, "SELECT MIN(id) FROM log"), 3);
            EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM ERRORS_LOG"), 1);
        }
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << Describe(status);
    }
}

}  // namespace
