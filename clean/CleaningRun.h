#pragma once

#include <memory>
#include <string>
#include <vector>

#include "clean/CleaningHost.h"
#include "clean/CompactResult.h"
#include "clean/CompactionStage.h"
#include "clean/DatabaseStage.h"
#include "clean/WorkingNames.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"

// The one job of the tool: safety copy, delete old log rows, compact with
// gbak, and put the database file back from the safety copy on any failure.
// Everything it learns and does is reported through the host's trace.
class CleaningRun {
public:
    // On the platform's file system, processes, registry and client library.
    explicit CleaningRun(CleaningHost& host);
    CleaningRun(CleaningHost& host, platform::FileSystem& files, platform::ProcessRunner& processes,
                RegistryReaderFactory makeRegistryReader,
                std::vector<std::string> clientLibraryNames = platform::FirebirdClientLibraryNames());
    ~CleaningRun();
    CleaningRun(const CleaningRun&) = delete;
    CleaningRun& operator=(const CleaningRun&) = delete;

    // Runs from the path in the host's edit to "Done!" or a red line. The
    // working names are the same for every run on a file, so a call made
    // while a run is in progress (through the trace's message processing)
    // returns at once without doing anything. A registry value of the wrong
    // kind ends the run with platform::RegistryError, cursor restored, files
    // left as they are.
    void RunCleaning();
    bool Running() const { return running_; }

    // The connection members Database, Transaction and Sql live here.
    DatabaseStage& Stage() { return stage_; }

private:
    CleaningRun(CleaningHost& host, std::unique_ptr<platform::FileSystem> files,
                std::unique_ptr<platform::ProcessRunner> processes);

    void Run();
    void DeleteLeftovers(const std::string& path, const WorkingNames& names);
    void FailDatabaseStep(const char* message, const std::string& path, const WorkingNames& names);
    void FailCompaction(CompactResult result, const std::string& path, const WorkingNames& names);
    void RollBack(const std::string& path, const WorkingNames& names, bool deleteBackup);

    std::unique_ptr<platform::FileSystem> ownFiles_;
    std::unique_ptr<platform::ProcessRunner> ownProcesses_;
    CleaningHost& host_;
    platform::FileSystem& files_;
    platform::ProcessRunner& processes_;
    RegistryReaderFactory makeRegistryReader_;
    DatabaseStage stage_;
    bool running_ = false;
};
