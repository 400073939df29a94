#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/CommandLine.h"
#include "platform/WhileWaiting.h"

namespace platform {

// How much of a program's output ProcessOutcome keeps: enough for gbak's
// last messages (the reason it gave up), little enough that a verbose run
// costs nothing.
inline constexpr std::size_t OutputTailLimit = 64 * 1024;

struct ProcessOutcome {
    bool started = false;        // false: nothing ran, nothing was waited for
    bool exited = false;         // false: ended otherwise (killed by a signal)
    bool stopped = false;        // killed because the waiter asked to stop
    std::uint32_t exitCode = 0;  // meaningful only when `exited`
    // The last OutputTailLimit bytes the program wrote to its standard
    // output and error, both in one stream, as they came.
    std::string outputTail;
};

// Starts a program without a console window and with no inherited handles,
// waits for it without a time-out and reports how it ended. What the program
// prints goes to the support log (platform/SupportLog.h), never to the
// operator, and its end is kept in the outcome. While it waits it calls
// `whileWaiting` every WhileWaitingInterval with the bytes the program has
// read so far (from files, as the system counts them); when that answers
// false, the program is killed at once and the outcome says it was stopped.
//
// The program does not share the tool's fate with the terminal or the
// session: it runs in a process group of its own (POSIX), so a Ctrl+C or a
// hang-up sent to the tool's group reaches only the tool, which finishes the
// run and then ends. Nor does it outlive the tool: killed, however it ends,
// the tool takes the program with it.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    virtual ProcessOutcome Run(const CommandArguments& arguments, const WhileWaiting& whileWaiting = {}) = 0;
};

std::unique_ptr<ProcessRunner> CreateProcessRunner();

}  // namespace platform
