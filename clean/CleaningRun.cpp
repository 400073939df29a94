#include "clean/CleaningRun.h"

#include <utility>

#include "clean/FileErrorText.h"
#include "clean/JournalEntry.h"

namespace {

constexpr const char* SavingLine = "Сохранение оригинального файла БД (*.fdb -> *.bak)...";
constexpr const char* DeletingLine = "Удаление данных до выбранной даты...";
constexpr const char* OkLine = "...Ok";
constexpr const char* DoneLine = "\nDone!";
constexpr const char* CopyFailedLine = "Неудача...";
constexpr const char* OpenFailedLine = "Ошибка открытия файла БД!";
constexpr const char* DeleteFailedLine = "Неудача!";
constexpr const char* CloseFailedLine = "Ошибка закрытия файла БД!";
constexpr const char* AnotherRunLine = "Этот файл БД уже обрабатывается другим запуском программы!";
constexpr const char* LinkLine = "Файл БД является символической ссылкой! Выберите сам файл, на который она указывает.";
constexpr const char* InterruptedLine = "Предыдущая очистка этого файла БД была прервана!";

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

// Paths get red lines of their own: the pane does not wrap, and a path cut
// off at its edge would hide the very name the operator needs.
void TraceWithPath(TraceSink& trace, const std::string& line, const std::string& path)
{
    trace.Trace(line, clRed);
    trace.Trace(path, clRed);
}

void TraceBackInPlace(TraceSink& trace, const std::string& path)
{
    TraceWithPath(trace, "Оригинальный файл БД возвращён на место:", path);
}

void TracePutBackFailed(TraceSink& trace, const platform::FileResult& failure, const std::string& bak)
{
    trace.Trace("Не удалось вернуть оригинальный файл БД на место: " + FileErrorText(failure) + ".", clRed);
    TraceWithPath(trace, "Оригинал сохранён в файле:", bak);
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
        // The file is intact (cleaned, not yet compacted) and the safety copy
        // stays beside it, so there is nothing to put back; only the cursor
        // must not stay busy, and the next run may start afresh.
        host_.SetScreenCursor(crDefault);
        EndJournal();
        throw;
    }
    // A journal still held here tells the next run what is left to do.
    journal_.reset();
}

void CleaningRun::Run()
{
    host_.ClearTrace();
    const std::string path = host_.DatabasePathText();
    const WorkingNames names = DeriveWorkingNames(path);

    if (!MakeSafetyCopy(path, names))
        return;
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

    CompactionStage compaction(
        host_, files_, processes_, makeRegistryReader_,
        [this](const std::string& restored) { return stage_.RestoredDatabaseUsable(restored); },
        [this] { host_.KeepAlive(); });
    const CompactResult result =
        compaction.CompactDatabase(path, names.fdk, [this] { return host_.CorrectionChecked(); });
    if (result != cpDone)
        return FailCompaction(result, path, names);

    // The restore made a new file with gbak's owner and default mode; a
    // server running as another user must still be able to open it.
    files_.CopyOwnerAndMode(names.bak, path);
    host_.UncheckCorrection();
    EndJournal();
    host_.Trace(DoneLine, clGreen);
    host_.SetScreenCursor(crDefault);
}

// Steps up to the safety copy: true when the copy exists and the journal says
// so. Every way it refuses deletes nothing the operator has.
bool CleaningRun::MakeSafetyCopy(const std::string& path, const WorkingNames& names)
{
    // Without ".fdb" in the file name the working names are the database
    // itself: nothing may be deleted, and the copy onto itself must fail.
    if (names.bak == path) {
        host_.Trace(SavingLine, clBlue);
        FailCopy(path.empty() ? "файл БД не выбран" : "в имени файла БД нет расширения .fdb");
        return false;
    }
    // The working files would go beside the link and the link be replaced by
    // a plain file, while the rows are deleted in the file it leads to.
    if (files_.IsLink(path)) {
        Refuse(LinkLine);
        return false;
    }
    if (!ClaimJournal(path, names))
        return false;

    DeleteLeftovers(path, names);
    host_.Trace(SavingLine, clBlue);
    platform::FileResult copied = files_.Copy(path, names.bak, [this] { host_.KeepAlive(); });
    if (!copied) {
        FailCopy(copied.error == platform::FileError::TargetExists ? "файл " + names.bak + " уже существует"
                                                                    : FileErrorText(copied));
        EndJournal();
        return false;
    }
    // From here on the database may change; the next run must know which
    // file holds the original, should this one die.
    const std::string copyIdentity = files_.Identity(names.bak);
    if (copyIdentity.empty())
        copied = {platform::FileError::NotFound, 0};
    else
        copied = journal_->Write(WriteJournalEntry({RunStage::Changing, copyIdentity}));
    if (!copied) {
        FailCopy("журнал очистки не записан: " + FileErrorText(copied));
        EndJournal();
        return false;
    }
    return true;
}

// Takes the file for this run alone. A journal left by a run that died after
// its copy is dealt with first, and the run stops there: the operator learns
// what happened before anything new is done to the file.
bool CleaningRun::ClaimJournal(const std::string& path, const WorkingNames& names)
{
    const std::string journalName = JournalName(path);
    platform::JournalClaim claim = platform::ClaimRunJournal(journalName);
    if (claim.outcome == platform::ClaimOutcome::HeldByAnotherRun) {
        Refuse(AnotherRunLine);
        return false;
    }
    if (claim.outcome != platform::ClaimOutcome::Claimed) {
        Refuse("Не удалось создать журнал очистки: " + FileErrorText(claim.failure) + ".");
        host_.Trace(journalName, clRed);
        return false;
    }
    journal_ = std::move(claim.journal);

    const JournalEntry found = ReadJournalEntry(journal_->Found());
    if (found.stage == RunStage::Changing || found.stage == RunStage::Unreadable) {
        FinishInterruptedRun(found, path, names);
        return false;
    }
    // Dead before or during its copy, an earlier run left the database as it
    // was; its partial copy is a leftover like any other.
    const platform::FileResult written = journal_->Write(WriteJournalEntry({RunStage::Copying, {}}));
    if (!written) {
        Refuse("Не удалось записать журнал очистки: " + FileErrorText(written) + ".");
        host_.Trace(journalName, clRed);
        EndJournal();
        return false;
    }
    return true;
}

// Completes the rollback of a run that died after its safety copy: whatever
// it left at the database path is not trusted, its copy goes back in place.
void CleaningRun::FinishInterruptedRun(const JournalEntry& found, const std::string& path, const WorkingNames& names)
{
    host_.SetScreenCursor(crDefault);
    host_.Trace(InterruptedLine, clRed);
    if (found.stage == RunStage::Unreadable) {
        // Not written by this tool: guessing could put an old file back.
        TraceWithPath(host_, "Журнал прерванной очистки не удалось прочитать:", JournalName(path));
        host_.Trace("Проверьте файл БД и его копию (*.bak), затем удалите журнал.", clRed);
        return;
    }
    if (files_.Identity(path) == found.copyIdentity) {
        // The dead run had put its copy back already.
        TraceBackInPlace(host_, path);
        EndJournal();
        return;
    }
    if (files_.Identity(names.bak) != found.copyIdentity) {
        TraceWithPath(host_, "Сохранённая копия прерванной очистки не найдена; проверьте файл БД:", path);
        EndJournal();
        return;
    }
    files_.Delete(names.fdk);
    const platform::FileResult putBack = files_.PutBack(names.bak, path);
    if (!putBack) {
        // The journal stays, so the next run tries again and never deletes
        // the copy as a leftover.
        TracePutBackFailed(host_, putBack, names.bak);
        return;
    }
    TraceBackInPlace(host_, path);
    EndJournal();
}

void CleaningRun::DeleteLeftovers(const std::string& path, const WorkingNames& names)
{
    // After an interrupted run the leftovers may be the only copies left.
    if (!files_.Exists(path))
        return;
    files_.Delete(names.bak);
    files_.Delete(names.fdk);
}

void CleaningRun::Refuse(const std::string& line)
{
    host_.SetScreenCursor(crDefault);
    host_.Trace(line, clRed);
}

void CleaningRun::FailCopy(const std::string& cause)
{
    host_.SetScreenCursor(crDefault);
    host_.Trace(CopyFailedLine, clRed);
    host_.Trace("Причина: " + cause + ".", clRed);
}

void CleaningRun::FailDatabaseStep(const char* message, const std::string& path, const WorkingNames& names)
{
    host_.SetScreenCursor(crDefault);
    host_.Trace(message, clRed);
    // A failed step can leave the file attached, which would block the
    // put-back below.
    stage_.DropConnection();
    ReportPutBack(RollBack(path, names, false), names);
}

void CleaningRun::FailCompaction(CompactResult result, const std::string& path, const WorkingNames& names)
{
    host_.SetScreenCursor(crDefault);
    const platform::FileResult putBack =
        RollBack(path, names, result == cpBackupFailed || result == cpRestoreFailed);
    host_.Trace(CompactionFailureLine(result), clRed);
    ReportPutBack(putBack, names);
}

// The copy replaces whatever is at the database path in one step, or nothing
// changes: a file another process holds is never left half replaced, and
// the path is never left empty.
platform::FileResult CleaningRun::RollBack(const std::string& path, const WorkingNames& names, bool deleteBackup)
{
    if (deleteBackup)
        files_.Delete(names.fdk);
    return files_.PutBack(names.bak, path);
}

void CleaningRun::ReportPutBack(const platform::FileResult& putBack, const WorkingNames& names)
{
    if (putBack) {
        EndJournal();
        return;
    }
    // The journal is kept: the next run finishes the put-back first and
    // never deletes the copy as a leftover.
    TracePutBackFailed(host_, putBack, names.bak);
}

void CleaningRun::EndJournal()
{
    if (journal_ && !journal_->Remove())
        host_.Trace("Не удалось удалить журнал очистки; удалите его до следующей очистки.", clRed);
    journal_.reset();
}
