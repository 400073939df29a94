#include "clean/CleaningRun.h"

#include <utility>

namespace {

constexpr const char* SavingLine = "Сохранение оригинального файла БД (*.fdb -> *.bak)...";
constexpr const char* DeletingLine = "Удаление данных до выбранной даты...";
constexpr const char* OkLine = "...Ok";
constexpr const char* DoneLine = "\nDone!";
constexpr const char* CopyFailedLine = "Неудача...";
constexpr const char* OpenFailedLine = "Ошибка открытия файла БД!";
constexpr const char* DeleteFailedLine = "Неудача!";
constexpr const char* CloseFailedLine = "Ошибка закрытия файла БД!";

const char* CompactionFailureLine(CompactResult result)
{
    switch (result) {
    case cpKeyMissing:
        return "Ключ Software\\Firebird Project\\Firebird Server\\Instances не найден!";
    case cpKeyNotOpened:
        return "Не могу открыть ключ реестра!";
    case cpGbakMissing:
        return "Отсутствует файл gbak.exe!";
    case cpBackupFailed:
        return "Не удалось произвести бэкап (*.fdb -> *.fdk)!";
    case cpRestoreFailed:
        return "Не удалось восстановить (*.fdk -> *.fdb)!";
    case cpDone:
        break;
    }
    return "";
}

// Clears the in-progress mark however the run ends.
class RunningMark {
public:
    explicit RunningMark(bool& running) : running_(running) { running_ = true; }
    ~RunningMark() { running_ = false; }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;

private:
    bool& running_;
};

}  // namespace

CleaningRun::CleaningRun(CleaningHost& host)
    : CleaningRun(host, platform::CreateFileSystem(), platform::CreateProcessRunner())
{
}

CleaningRun::CleaningRun(CleaningHost& host, std::unique_ptr<platform::FileSystem> files,
                         std::unique_ptr<platform::ProcessRunner> processes)
    : CleaningRun(host, *files, *processes, PlatformRegistryReaderFactory())
{
    ownFiles_ = std::move(files);
    ownProcesses_ = std::move(processes);
}

CleaningRun::CleaningRun(CleaningHost& host, platform::FileSystem& files, platform::ProcessRunner& processes,
                         RegistryReaderFactory makeRegistryReader, std::vector<std::string> clientLibraryNames)
    : host_(host),
      files_(files),
      processes_(processes),
      makeRegistryReader_(std::move(makeRegistryReader)),
      stage_(host, std::move(clientLibraryNames))
{
}

CleaningRun::~CleaningRun() = default;

void CleaningRun::RunCleaning()
{
    if (running_)
        return;
    RunningMark mark(running_);
    host_.SetScreenCursor(crHourGlass);
    try {
        Run();
    } catch (...) {
        // The file is intact and the safety copy stays beside it, so there is
        // nothing to put back; only the cursor must not stay busy.
        host_.SetScreenCursor(crDefault);
        throw;
    }
}

void CleaningRun::Run()
{
    host_.ClearTrace();
    const std::string path = host_.DatabasePathText();
    const WorkingNames names = DeriveWorkingNames(path);

    DeleteLeftovers(path, names);

    host_.Trace(SavingLine, clBlue);
    if (!files_.Copy(path, names.bak, [this] { host_.KeepAlive(); })) {
        host_.SetScreenCursor(crDefault);
        host_.Trace(CopyFailedLine, clRed);
        return;
    }
    host_.Trace(OkLine, clGreen);

    if (!host_.SkipChecked()) {
        if (!stage_.OpenDatabase())
            return FailDatabaseStep(OpenFailedLine, path, names);
        host_.Trace(DeletingLine, clBlue);
        const TDateTime cutOff = host_.CalendarValue();
        if (!stage_.DeleteBeforeDate(cutOff))
            return FailDatabaseStep(DeleteFailedLine, path, names);
        host_.Trace(OkLine, clGreen);
        if (!stage_.CloseDatabase())
            return FailDatabaseStep(CloseFailedLine, path, names);
    }

    CompactionStage compaction(host_, files_, processes_, makeRegistryReader_, [this] { host_.KeepAlive(); });
    const CompactResult result =
        compaction.CompactDatabase(path, names.fdk, [this] { return host_.CorrectionChecked(); });
    if (result != cpDone)
        return FailCompaction(result, path, names);

    // The restore made a new file with gbak's owner and default mode; a
    // server running as another user must still be able to open it.
    files_.CopyOwnerAndMode(names.bak, path);
    host_.UncheckCorrection();
    host_.Trace(DoneLine, clGreen);
    host_.SetScreenCursor(crDefault);
}

void CleaningRun::DeleteLeftovers(const std::string& path, const WorkingNames& names)
{
    // Without ".fdb" in the path the working names are the database itself.
    if (names.bak == path || names.fdk == path)
        return;
    // After an interrupted run the leftovers may be the only copies left.
    if (!files_.Exists(path))
        return;
    files_.Delete(names.bak);
    files_.Delete(names.fdk);
}

void CleaningRun::FailDatabaseStep(const char* message, const std::string& path, const WorkingNames& names)
{
    host_.SetScreenCursor(crDefault);
    host_.Trace(message, clRed);
    // A failed step can leave the file attached, which would block the
    // delete and the rename below.
    stage_.DropConnection();
    RollBack(path, names, false);
}

void CleaningRun::FailCompaction(CompactResult result, const std::string& path, const WorkingNames& names)
{
    host_.SetScreenCursor(crDefault);
    RollBack(path, names, result == cpBackupFailed || result == cpRestoreFailed);
    host_.Trace(CompactionFailureLine(result), clRed);
}

void CleaningRun::RollBack(const std::string& path, const WorkingNames& names, bool deleteBackup)
{
    files_.Delete(path);
    if (deleteBackup)
        files_.Delete(names.fdk);
    files_.Rename(names.bak, path);
}
