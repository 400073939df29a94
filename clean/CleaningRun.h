#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clean/CleaningHost.h"
#include "clean/CompactResult.h"
#include "clean/CompactionStage.h"
#include "clean/DatabaseStage.h"
#include "clean/RunOutcome.h"
#include "clean/RunProgress.h"
#include "clean/WorkingNames.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"
#include "platform/RunJournal.h"

struct JournalEntry;

// The one job of the tool: safety copy, delete old log rows, compact with
// gbak, and put the database file back from the safety copy on any failure.
// Everything it learns and does is reported through the host's trace.
class CleaningRun {
public:
    // On the platform's file system, processes, registry and client library.
    explicit CleaningRun(CleaningHost& host);
    // `clientLibraryNames` are tried after the installation's own client.
    CleaningRun(CleaningHost& host, platform::FileSystem& files, platform::ProcessRunner& processes,
                InstallationFinder findInstallation,
                std::vector<std::string> clientLibraryNames = platform::FirebirdClientLibraryNames());
    ~CleaningRun();
    CleaningRun(const CleaningRun&) = delete;
    CleaningRun& operator=(const CleaningRun&) = delete;

    // Runs from the path in the host's edit to "Done!" or a red line. The
    // working names are the same for every run on a file, so a call made
    // while a run is in progress (through the trace's message processing)
    // returns at once without doing anything, and a run in another process
    // on the same file is refused through the run journal beside it. A run
    // that finds the journal of a run that died puts that run's safety copy
    // back and stops. A registry value of the wrong kind ends the run with
    // platform::RegistryError before the safety copy, cursor restored, files
    // left as they are.
    void RunCleaning();
    bool Running() const { return running_; }
    // Asks the run under way to stop: the step in progress is ended (gbak
    // killed, the statement cancelled, the copy abandoned) and the run takes
    // its rollback, saying that the operator stopped it. Only a host that
    // follows progress is heard during a step; otherwise the run stops
    // before its next step.
    void RequestStop() { stopRequested_ = running_; }
    // How the last run ended; NeedsAttention also when it ended by an error.
    RunOutcome Outcome() const { return outcome_; }

private:
    CleaningRun(CleaningHost& host, std::unique_ptr<platform::FileSystem> files,
                std::unique_ptr<platform::ProcessRunner> processes);

    void Run();
    bool ClaimJournal(const std::string& path, const WorkingNames& names);
    std::string InterruptedUnderAnotherName(const std::string& path);
    void FinishInterruptedRun(const JournalEntry& found, const std::string& path, const WorkingNames& names);
    platform::FileResult KeepAside(const std::string& path, std::string& kept);
    bool TakeDatabasePath(std::string& path, WorkingNames& names);
    bool MakeSafetyCopy(const std::string& path, const WorkingNames& names);
    bool TakeDatabase(const std::string& path, const WorkingNames& names);
    void ReleaseDatabase();
    bool DeleteLeftovers(const std::string& path, const WorkingNames& names);
    bool HasRoom(const std::string& path, const WorkingNames& names);
    bool FirebirdReady();
    bool MarkChanging(const std::string& path);
    bool MakeRestoredDurable(const WorkingNames& names, const std::string& path);
    bool HoldsTheRows(const std::string& restored, const std::optional<DatabaseStage::LogRows>& before);
    platform::WhileWaiting Watching(RunStep step, std::uint64_t inputSize);
    platform::WhileWaiting CountingWhatIsWritten(platform::WhileWaiting watching, const std::string& output);
    void FailStopped(const std::string& path, const WorkingNames& names, bool deleteBackup);
    void Refuse(const std::string& line);
    void FailCopy(const std::string& cause);
    void FailDatabaseStep(const char* message, const std::string& path, const WorkingNames& names);
    void FailUnchanged(const WorkingNames& names);
    void FailCompaction(CompactResult result, bool lackOfSpace, const std::string& path, const WorkingNames& names);
    void TidyUnchanged(const WorkingNames& names, bool deleteBackup);
    platform::FileResult RollBack(const std::string& path, const WorkingNames& names, bool deleteBackup);
    void ReportPutBack(const platform::FileResult& putBack, const std::string& path, const WorkingNames& names);
    void EndJournal();
    void TraceSummary(const std::string& path, std::chrono::steady_clock::time_point started, bool cleaned);

    std::unique_ptr<platform::FileSystem> ownFiles_;
    std::unique_ptr<platform::ProcessRunner> ownProcesses_;
    CleaningHost& host_;
    platform::FileSystem& files_;
    platform::ProcessRunner& processes_;
    InstallationFinder findInstallation_;
    std::vector<std::string> clientLibraryNames_;
    DatabaseStage stage_;
    // Held from the first step of a run that can change anything to its end.
    std::unique_ptr<platform::RunJournal> journal_;
    // What the safety copy of this run holds, for the journal.
    std::string copyFingerprint_;
    // Whether the journal says the database may have changed: from then on a
    // failure puts the copy back; before, the original is still in place.
    bool changing_ = false;
    // The journal could not be written, and a red line said so.
    bool journalRefused_ = false;
    // The database's LINGER as the run found it, in seconds; 0 when unknown.
    int lingerSeconds_ = 0;
    // The database this run has shut down for itself, while it is at its
    // path; empty when none is.
    std::string ownedPath_;
    // The database's size as the run found it, for its summary; 0 when
    // unknown.
    std::uint64_t sizeBefore_ = 0;
    bool running_ = false;
    bool stopRequested_ = false;
    RunOutcome outcome_ = RunOutcome::Refused;
};
