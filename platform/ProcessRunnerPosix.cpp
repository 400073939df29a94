#include "platform/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"

extern char** environ;

namespace platform {
namespace {

// posix_spawn's two setup records, destroyed on every path.
class SpawnSetup {
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnSetup()
    {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // The child reads nothing; its output and errors go to our standard
    // error, the support log, where a failed gbak's reason can be read; it
    // gets none of our other descriptors: glibc 2.36 has no
    // close-on-exec-by-default flag, so everything from 3 up is closed.
    // Signal handling starts from the defaults, whatever this process ignores.
    bool Prepare()
    {
        sigset_t all;
        sigset_t none;
        sigfillset(&all);
        sigemptyset(&none);
        return posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_adddup2(&actions_, 2, 1) == 0 &&
               posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0 &&
               posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
               posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
               posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
    }

    const posix_spawn_file_actions_t* Actions() const { return &actions_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

// Waits for `child` to end; false only when it cannot be waited for.
bool WaitBlocking(pid_t child, int& status)
{
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;  // cannot happen for our own child
    }
    return true;
}

// As WaitBlocking, calling `whileWaiting` every interval. A pidfd wakes us
// the moment the child ends; a kernel without one (before 5.3) is polled.
bool WaitCallingBack(pid_t child, int& status, const WhileWaiting& whileWaiting)
{
    using Clock = std::chrono::steady_clock;
    const UniqueFd ended(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    auto lastCall = Clock::now();
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            return true;
        if (done < 0 && errno != EINTR)
            return false;
        if (done == 0) {
            if (ended.Valid()) {
                pollfd readable{ended.Get(), POLLIN, 0};
                poll(&readable, 1, static_cast<int>(WhileWaitingInterval.count()));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (Clock::now() - lastCall >= WhileWaitingInterval) {
            whileWaiting();
            lastCall = Clock::now();
        }
    }
}

class PosixProcessRunner final : public ProcessRunner {
public:
    ProcessOutcome Run(const CommandArguments& arguments, const WhileWaiting& whileWaiting) override
    {
        ProcessOutcome outcome;
        if (arguments.empty())
            return outcome;
        // The quotes are for the Windows line only; argv carries the texts.
        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (const CommandArgument& argument : arguments)
            argv.push_back(const_cast<char*>(argument.text.c_str()));
        argv.push_back(nullptr);

        SpawnSetup setup;
        if (!setup.Prepare())
            return outcome;
        // The program is taken as named (no PATH search), like the Windows
        // line's first argument. glibc reports a failed exec here, so a
        // program that cannot start is known at once.
        pid_t child = 0;
        if (posix_spawn(&child, argv[0], setup.Actions(), setup.Attributes(), argv.data(), environ) != 0)
            return outcome;
        outcome.started = true;

        int status = 0;
        // A child that cannot be waited for counts as failure.
        if (!(whileWaiting ? WaitCallingBack(child, status, whileWaiting) : WaitBlocking(child, status)))
            return outcome;
        if (WIFEXITED(status)) {
            outcome.exited = true;
            outcome.exitCode = static_cast<std::uint32_t>(WEXITSTATUS(status));
        }
        return outcome;
    }
};

}  // namespace

std::unique_ptr<ProcessRunner> CreateProcessRunner()
{
    return std::make_unique<PosixProcessRunner>();
}

}  // namespace platform
