#include "tests/clean/RunProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace {

struct ProcessEntry {
    pid_t pid = 0;
    pid_t parent = 0;
    char state = 0;
};

// Every process there is, from /proc.
std::vector<ProcessEntry> Processes()
{
    std::vector<ProcessEntry> processes;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text))
            continue;
        // pid (command) state ppid ...; the command may hold spaces.
        const std::size_t end = text.rfind(')');
        if (end == std::string::npos)
            continue;
        ProcessEntry process;
        process.pid = static_cast<pid_t>(std::atol(text.c_str()));
        std::istringstream fields(text.substr(end + 1));
        if (fields >> process.state >> process.parent)
            processes.push_back(process);
    }
    return processes;
}

// The driver's children and theirs: gbak runs in a process group of its
// own, so the driver's group does not name it.
std::vector<pid_t> Descendants(pid_t root)
{
    const std::vector<ProcessEntry> processes = Processes();
    std::vector<pid_t> found{root};
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (const ProcessEntry& process : processes) {
            if (process.parent == found[i])
                found.push_back(process.pid);
        }
    }
    found.erase(found.begin());
    return found;
}

// Whether any of `pids` still runs; a zombie has closed its files already and
// does not count. gbak, the driver's child, is left to a parent that may be
// slow to reap it, or never does.
bool AnyAlive(const std::vector<pid_t>& pids)
{
    for (const ProcessEntry& process : Processes()) {
        if (std::find(pids.begin(), pids.end(), process.pid) != pids.end() && process.state != 'Z' &&
            process.state != 'X')
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
    const std::vector<pid_t> descendants = Descendants(pid_);
    kill(-pid_, SIGKILL);
    for (const pid_t descendant : descendants)
        kill(descendant, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    // Files gbak held open would keep a test's file system from unmounting,
    // and the next run from the database; a busy machine may take a while
    // to let a killed process go.
    for (int tries = 0; tries < 2400 && AnyAlive(descendants); ++tries)
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
