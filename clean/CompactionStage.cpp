#include "clean/CompactionStage.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "clean/FileErrorText.h"
#include "clean/GbakCommand.h"
#include "clean/HeldFileWait.h"
#include "clean/SharedStrings.h"
#include "platform/SupportLog.h"

namespace {

// A restore passes the system's text for a failed write on: strerror(ENOSPC)
// in the C and Russian locales, Windows' ERROR_DISK_FULL in English and
// Russian. A backup whose file cannot grow asks for the next volume instead,
// which with no input ends the backup.
bool SaysDiskFull(const std::string& output)
{
    static const char* const phrases[] = {
        "Done with volume #",
        "No space left on device",
        "На устройстве не осталось свободного места",
        "There is not enough space on the disk",
        "Недостаточно места на диске",
    };
    return std::any_of(std::begin(phrases), std::end(phrases),
                       [&](const char* phrase) { return output.find(phrase) != std::string::npos; });
}

}  // namespace

InstallationFinder PlatformInstallationFinder()
{
    return [] { return platform::FindFirebirdInstallation(); };
}

CompactionStage::CompactionStage(TraceSink& trace, platform::FileSystem& files, platform::ProcessRunner& processes,
                                 InstallationFinder findInstallation, RestoreCheck restoredUsable,
                                 GbakWaiting whileWaiting, BeforeChange beforeChange, HeldWaitBound heldWait)
    : trace_(trace),
      files_(files),
      processes_(processes),
      findInstallation_(std::move(findInstallation)),
      restoredUsable_(std::move(restoredUsable)),
      whileWaiting_(std::move(whileWaiting)),
      beforeChange_(std::move(beforeChange)),
      heldWait_(heldWait ? std::move(heldWait) : HeldWaitBound([] { return HeldFileWaitBound(0); }))
{
}

CompactResult CompactionStage::CompactDatabase(const std::string& path, const std::string& FdkFileName,
                                               const std::function<bool()>& correct)
{
    // Looked up again although the run's preflight found it: gbak may have
    // gone since, which ends the compaction as it always has.
    const platform::FirebirdInstallation installation = findInstallation_();
    switch (installation.lookup) {
    case platform::FirebirdInstallation::Lookup::KeyMissing:
        return cpKeyMissing;
    case platform::FirebirdInstallation::Lookup::KeyNotOpened:
        return cpKeyNotOpened;
    case platform::FirebirdInstallation::Lookup::GbakMissing:
    case platform::FirebirdInstallation::Lookup::NotInstalled:
        return cpGbakMissing;
    case platform::FirebirdInstallation::Lookup::Found:
        break;
    }
    const std::string& GbakFileName = installation.gbak;
    platform::WriteSupportLog("quenor-cleaner: gbak: " + GbakFileName);
    const GbakCommand gbak(GbakFileName, UserName, Password);

    trace_.Trace("Создание бэкапа файла БД (*.fdb -> *.fdk)...", clBlue);
    // gbak writes into a file that exists and keeps its access: the backup
    // holds every row of the database and must be no easier to read.
    if (!files_.PrepareLike(path, FdkFileName) || !RunGbak(gbak.Backup(path, FdkFileName), RunStep::BackingUp, path))
        return cpBackupFailed;
    trace_.Trace("...Ok", clGreen);

    if (beforeChange_ && !beforeChange_())
        return cpBackupFailed;
    // The server that read the database for the backup may hold the file a
    // while longer; deleted meanwhile, it would go on writing into the old
    // file while the restore makes a new one. Waited for, then checked.
    // Followed as the restore's wait, and only once there is one.
    platform::WhileWaiting waiting;
    const auto tick = [&] {
        if (!waiting && whileWaiting_)
            waiting = whileWaiting_(RunStep::Restoring, FdkFileName);
        return !waiting || waiting(std::nullopt);
    };
    const platform::FileResult deleted =
        RetryWhileHeld(trace_, heldWait_, tick, [&] { return files_.Delete(path); });
    if (!deleted && deleted.error != platform::FileError::NotFound) {
        if (deleted.error != platform::FileError::Stopped)
            trace_.Trace("Файл БД не удалось удалить перед восстановлением: " + FileErrorText(deleted) + ".", clRed);
        return cpRestoreFailed;
    }

    trace_.Trace("Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...", clBlue);
    // Asked only now: the operator may have ticked the box while the backup
    // lines were painted.
    if (!RunGbak(gbak.Restore(FdkFileName, path, correct()), RunStep::Restoring, FdkFileName))
        return cpRestoreFailed;
    // gbak can exit 0 and leave the new database shut down when indices
    // failed to activate; the product could not use it.
    if (restoredUsable_ && !restoredUsable_(path))
        return cpRestoreFailed;
    trace_.Trace("...Ok", clGreen);
    return cpDone;
}

bool CompactionStage::RunGbak(const platform::CommandArguments& commandLine, RunStep step, const std::string& input)
{
    const platform::ProcessOutcome outcome =
        processes_.Run(commandLine, whileWaiting_ ? whileWaiting_(step, input) : platform::WhileWaiting());
    const bool succeeded = outcome.started && outcome.exited && outcome.exitCode == 0 && !outcome.stopped;
    lackOfSpace_ = !succeeded && SaysDiskFull(outcome.outputTail);
    return succeeded;
}
