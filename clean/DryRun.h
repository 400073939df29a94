#pragma once

#include <string>
#include <vector>

#include "clean/CleaningHost.h"
#include "clean/RunOutcome.h"
#include "platform/FileSystem.h"
#include "platform/SharedLibrary.h"

// What a cleaning run of the database in the host's path would do, found out
// without changing a byte in the database's folder: the room the run would
// need there, and how many rows each delete would remove, counted by the very
// same deletes on a copy in `scratchFolder` (which ends with its separator)
// that is deleted again. Attaching to the database itself would already write
// into it. Reports through the host's trace; Done when a run could go ahead,
// Refused when it would be refused or the rows could not be counted.
RunOutcome DryRunCleaning(CleaningHost& host, platform::FileSystem& files, const std::string& scratchFolder,
                          std::vector<std::string> clientLibraryNames = platform::FirebirdClientLibraryNames());
