#pragma once

#include <string>
#include <vector>

#include "platform/EventLog.h"

// The entry an unattended run leaves in the system's event log, for
// monitoring tools to alert on: one number and one kind per exit code.
struct RunEvent {
    int id;  // 1000 plus the exit code (see CommandLineHelp)
    platform::EventKind kind;
};
RunEvent RunEventFor(int exitCode);

// Files the entry of a run that ended with `exitCode`, its text `lines`. A
// log that does not take it costs one line on standard error and changes
// nothing else: the run and its exit code stand.
void WriteRunEvent(platform::EventLog& log, int exitCode, const std::vector<std::string>& lines);
