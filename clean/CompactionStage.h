#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "clean/CompactResult.h"
#include "clean/RunProgress.h"
#include "clean/Trace.h"
#include "platform/CommandLine.h"
#include "platform/FileSystem.h"
#include "platform/FirebirdInstallation.h"
#include "platform/ProcessRunner.h"

// Finds the Firebird installation whose gbak and client a run uses, asked
// afresh each time. Tests hand in one of their own.
using InstallationFinder = std::function<platform::FirebirdInstallation()>;
InstallationFinder PlatformInstallationFinder();

// Whether the database a restore made at the path can be used, beyond gbak's
// exit code.
using RestoreCheck = std::function<bool(const std::string& path)>;

// Asked right before the database file is deleted for the restore, the first
// step of the stage that changes it; false stops the stage there, with the
// file untouched and the result cpBackupFailed.
using BeforeChange = std::function<bool()>;

// How long a step waits for a server to let go of the database file.
using HeldWaitBound = std::function<std::chrono::milliseconds()>;

// What is called while one gbak run of `step` reads `input`, made as the run
// starts (platform::WhileWaiting); empty: gbak is simply waited for.
using GbakWaiting = std::function<platform::WhileWaiting(RunStep step, const std::string& input)>;

// Rebuilds a database file with gbak: backup, delete, restore in place.
class CompactionStage {
public:
    // Without `restoredUsable`, a restore that exits with 0 counts as done.
    CompactionStage(TraceSink& trace, platform::FileSystem& files, platform::ProcessRunner& processes,
                    InstallationFinder findInstallation, RestoreCheck restoredUsable = nullptr,
                    GbakWaiting whileWaiting = {}, BeforeChange beforeChange = nullptr,
                    HeldWaitBound heldWait = nullptr);

    // `correct` is asked once, when the restore is built, after the backup.
    // A registry value of the wrong kind raises platform::RegistryError.
    CompactResult CompactDatabase(const std::string& path, const std::string& FdkFileName,
                                  const std::function<bool()>& correct);

    // One gbak run, of `step` reading `input`: true exactly when it started
    // and exited with code 0.
    bool RunGbak(const platform::CommandArguments& commandLine, RunStep step, const std::string& input);

    // Whether the last gbak run that failed said the disk was full, in its
    // own words or the system's.
    bool FailedForLackOfSpace() const { return lackOfSpace_; }

private:
    TraceSink& trace_;
    platform::FileSystem& files_;
    platform::ProcessRunner& processes_;
    InstallationFinder findInstallation_;
    RestoreCheck restoredUsable_;
    GbakWaiting whileWaiting_;
    BeforeChange beforeChange_;
    HeldWaitBound heldWait_;
    bool lackOfSpace_ = false;
};
