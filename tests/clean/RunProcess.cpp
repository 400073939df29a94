#include "tests/clean/RunProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// Whether a process of group `group` still runs; a zombie has closed its
// files already and does not count. gbak, the driver's child, is left to a
// parent that may be slow to reap it, or never does.
bool GroupAlive(pid_t group)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text))
            continue;
        // pid (command) state ppid pgrp ...; the command may hold spaces.
        const std::size_t end = text.rfind(')');
        if (end == std::string::npos)
            continue;
        std::istringstream fields(text.substr(end + 1));
        char state = 0;
        pid_t parent = 0;
        pid_t processGroup = 0;
        if (fields >> state >> parent >> processGroup && processGroup == group && state != 'Z' && state != 'X')
            return true;
    }
    return false;
}

}  // namespace

RunProcess::RunProcess(const std::vector<std::string>& arguments)
{
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipes for the run driver");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> words{RUN_DRIVER};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int started = posix_spawn(&pid_, RUN_DRIVER, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    input_ = toChild[1];
    output_ = fdopen(fromChild[0], "r");
    if (started != 0 || output_ == nullptr)
        throw std::runtime_error("the run driver did not start");
}

RunProcess::~RunProcess()
{
    if (pid_ > 0)
        KillAll();
    if (input_ >= 0)
        close(input_);
    if (output_ != nullptr)
        std::fclose(output_);
}

bool RunProcess::ReadLine(std::string& line)
{
    line.clear();
    for (int c = std::fgetc(output_); c != EOF; c = std::fgetc(output_)) {
        if (c == '\n')
            return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

bool RunProcess::WaitUntilPaused()
{
    for (std::string line; ReadLine(line);) {
        if (line == "paused")
            return true;
        lines_.push_back(line);
    }
    return false;
}

void RunProcess::Continue()
{
    if (input_ >= 0)
        close(input_);
    input_ = -1;
}

void RunProcess::KillAll()
{
    if (pid_ <= 0)
        return;
    kill(-pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    // Files gbak held open would keep a test's file system from unmounting.
    for (int tries = 0; tries < 200 && GroupAlive(pid_); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    pid_ = -1;
}

bool RunProcess::Finish()
{
    Continue();
    for (std::string line; ReadLine(line);) {
        if (line != "paused")
            lines_.push_back(line);
    }
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_)
        return false;
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
