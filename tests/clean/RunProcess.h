#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

// A cleaning run in its own process (tests/clean/RunDriver.cpp), in a process
// group of its own; its gbak runs in another group, and is killed with it.
class RunProcess {
public:
    // Starts the driver with these arguments (database, Firebird folder or
    // "-", pause text or "-", maybe "skip").
    explicit RunProcess(const std::vector<std::string>& arguments);
    // Kills what is still running.
    ~RunProcess();
    RunProcess(const RunProcess&) = delete;
    RunProcess& operator=(const RunProcess&) = delete;

    // Reads events until the driver says "paused"; false when it ended first.
    bool WaitUntilPaused();
    // Lets a paused run go on.
    void Continue();
    // SIGKILL to the driver and everything it started; returns once none of
    // them runs any more.
    void KillAll();
    // Lets the run go on to its end; every line it wrote, and whether it
    // exited with 0.
    bool Finish();

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    bool ReadLine(std::string& line);

    pid_t pid_ = -1;
    int input_ = -1;
    std::FILE* output_ = nullptr;
    std::vector<std::string> lines_;
};
