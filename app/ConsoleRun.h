#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "clean/CleaningRun.h"
#include "clean/RunOutcome.h"
#include "platform/EventLog.h"

// The exit code an unattended run ends with, one per outcome (see
// CommandLineHelp).
int ExitCodeFor(RunOutcome outcome);
inline constexpr int UsageExitCode = 64;

// An unattended run from the command line (argv without the program): no
// window, nothing waits for a person. The run's lines go to standard output,
// one per line; an error the window would show in its box goes to standard
// error. A run, and a usage error, leave one entry in `eventLog` (the
// platform's when none is given) with the lines and errors it wrote, in
// order (see RunEvent.h). `makeRun` as for the window: a run on the platform
// when none is given. Returns the exit code.
int RunFromCommandLine(const std::vector<std::string>& arguments,
                       const std::function<std::unique_ptr<CleaningRun>(CleaningHost&)>& makeRun = nullptr,
                       platform::EventLog* eventLog = nullptr);
