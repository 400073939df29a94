#pragma once

#include <cstdint>
#include <memory>

#include "platform/CommandLine.h"
#include "platform/WhileWaiting.h"

namespace platform {

struct ProcessOutcome {
    bool started = false;        // false: nothing ran, nothing was waited for
    bool exited = false;         // false: ended otherwise (killed by a signal)
    std::uint32_t exitCode = 0;  // meaningful only when `exited`
};

// Starts a program without a console window and with no inherited handles,
// waits for it without a time-out and reports how it ended. What the program
// prints goes to the support log (platform/SupportLog.h), never to the
// operator. While it waits it
// calls `whileWaiting` every WhileWaitingInterval.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    virtual ProcessOutcome Run(const CommandArguments& arguments, const WhileWaiting& whileWaiting = {}) = 0;
};

std::unique_ptr<ProcessRunner> CreateProcessRunner();

}  // namespace platform
