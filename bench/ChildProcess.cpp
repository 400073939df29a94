#include "bench/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>

extern char** environ;

namespace {

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    bool SendOutputTo(const std::string& logPath)
    {
        return posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions_, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                                0644) == 0 &&
               posix_spawn_file_actions_adddup2(&actions_, 1, 2) == 0;
    }
    const posix_spawn_file_actions_t* Get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

ChildOutcome RunChild(const std::vector<std::string>& arguments, const std::string& logPath)
{
    ChildOutcome outcome;
    if (arguments.empty())
        return outcome;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    SpawnActions actions;
    if (!logPath.empty() && !actions.SendOutputTo(logPath))
        return outcome;

    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0)
        return outcome;
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            return outcome;
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.peakRssKiB = usage.ru_maxrss;
    outcome.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return outcome;
}
