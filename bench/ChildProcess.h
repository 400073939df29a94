#pragma once

#include <string>
#include <vector>

struct ChildOutcome {
    bool succeeded = false;  // started, exited by itself, exit code 0
    double seconds = 0;      // wall time from start to reaped
    // The largest resident set of the child or of any descendant it waited
    // for, as wait4 reports it.
    long peakRssKiB = 0;
};

// Runs `arguments` (the program found through PATH) and waits for it. Its
// output goes to `logPath`, or to ours when that is empty.
ChildOutcome RunChild(const std::vector<std::string>& arguments, const std::string& logPath = {});
