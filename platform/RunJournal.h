#pragma once

#include <memory>
#include <string>

#include "platform/FileSystem.h"

namespace platform {

// A small file beside a database that one run holds locked from its first
// step to its last. The lock keeps a second run (another process, another
// user) off the same file, and goes with the process that holds it, so a
// dead run never blocks the next. What the file says survives the process:
// a run that finds something written there knows the run before it died.
class RunJournal {
public:
    // Releases the lock and leaves the file as it is, as a dead run would.
    virtual ~RunJournal() = default;
    // What the file held when it was claimed; empty for a new file.
    virtual const std::string& Found() const = 0;
    // Replaces what the file says; on disk before it returns.
    virtual FileResult Write(const std::string& content) = 0;
    // Empties and removes the file, then releases the lock. An empty file
    // that could not be removed says the same as no file.
    virtual bool Remove() = 0;
};

enum class ClaimOutcome {
    Claimed,
    HeldByAnotherRun,
    // The journal file is open in a program that is not a run of this tool
    // (a virus scanner, a backup agent): worth another try once it lets go.
    HeldByAnotherProgram,
    Failed,
};

struct JournalClaim {
    ClaimOutcome outcome = ClaimOutcome::Failed;
    std::unique_ptr<RunJournal> journal;  // only when claimed
    FileResult failure;                   // only when failed
};

// Opens (creating it if need be) and locks the journal at `path` without
// waiting. `databaseIdentity` (FileSystem::Identity of the database) keys
// the lock to the file itself as well, so that a run on another name of the
// same file (a hard link, another spelling) finds it taken. The POSIX
// journal does not use it: there the path is the only key.
JournalClaim ClaimRunJournal(const std::string& path, const std::string& databaseIdentity = {});

}  // namespace platform
