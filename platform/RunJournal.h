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

enum class ClaimOutcome { Claimed, HeldByAnotherRun, Failed };

struct JournalClaim {
    ClaimOutcome outcome = ClaimOutcome::Failed;
    std::unique_ptr<RunJournal> journal;  // only when claimed
    FileResult failure;                   // only when failed
};

// Opens (creating it if need be) and locks the journal at `path` without
// waiting.
JournalClaim ClaimRunJournal(const std::string& path);

}  // namespace platform
