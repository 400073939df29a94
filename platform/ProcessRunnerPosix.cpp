#include "platform/ProcessRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <vector>

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

    // The child reads nothing, its output goes nowhere (nobody reads what gbak
    // prints), and it gets none of our other descriptors: glibc 2.36 has no
    // close-on-exec-by-default flag, so everything from 3 up is closed.
    // Signal handling starts from the defaults, whatever this process ignores.
    bool Prepare()
    {
        sigset_t all;
        sigset_t none;
        sigfillset(&all);
        sigemptyset(&none);
        return posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0) == 0 &&
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

class PosixProcessRunner final : public ProcessRunner {
public:
    ProcessOutcome Run(const CommandArguments& arguments) override
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
        while (waitpid(child, &status, 0) < 0) {
            if (errno != EINTR)
                return outcome;  // cannot happen for our own child; counts as failure
        }
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
