#include "clean/CleaningRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "clean/CopyFingerprint.h"
#include "clean/FileErrorText.h"
#include "clean/HeldFileWait.h"
#include "clean/JournalEntry.h"
#include "clean/RoomCheck.h"
#include "clean/RunProgress.h"
#include "platform/PathNames.h"
#include "platform/SupportLog.h"

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
constexpr const char* NotInCodePageLine =
    "В пути к файлу БД есть буквы, которых нет в кодовой странице системы, и по такому пути можно попасть в другой "
    "файл. Переименуйте файл или папку так, чтобы в пути остались только латинские буквы и буквы языка системы, и "
    "выберите файл заново:";
constexpr const char* JournalHeldLine =
    "Журнал очистки открыт другой программой (например, антивирусом или программой резервного копирования), а не "
    "другим запуском этой программы. Повторите очистку, когда она его закроет:";
constexpr const char* InterruptedLine = "Предыдущая очистка этого файла БД была прервана!";
constexpr const char* NoClientLine =
    "Не удалось загрузить клиентскую библиотеку Firebird: проверьте установку Firebird и переменную FIREBIRD.";
constexpr const char* InstallationLine =
    "Причина не в файле БД: клиент Firebird не смог подключиться к нему (проверьте установку Firebird, переменную "
    "FIREBIRD и учётную запись SYSDBA).";
constexpr const char* NotInstalledLine =
    "Не найдена программа gbak из установки Firebird: установите Firebird или укажите его папку в переменной "
    "FIREBIRD.";
constexpr const char* LookedInLine = "Файл gbak искали здесь:";
constexpr const char* DiskFullLine = "Причина: недостаточно места на диске.";
constexpr const char* StoppedLine = "Очистка остановлена оператором.";
// The engine reports a database by a name of at most 255 characters; beyond
// that the check of the restored database could never succeed.
constexpr std::size_t LongestDatabasePath = 255;

std::string TooLongLine()
{
    return "Путь к файлу БД длиннее " + std::to_string(LongestDatabasePath) +
           " знаков: Firebird не сможет проверить базу после восстановления. Перенесите файл БД в папку с более "
           "коротким путём.";
}

// A 64-bit program cannot load a 32-bit client, nor the other way round;
// the build of the other bitness can, and the operator has both.
std::string OtherBitnessLine(const std::string& client)
{
    const bool client32 = platform::LibraryBits(client) == platform::ProgramBits::Bits32;
    return std::string("Клиентская библиотека Firebird этой установки ") + (client32 ? "32" : "64") +
           "-битная, а программа " + (client32 ? "64" : "32") + "-битная. Запустите " + (client32 ? "32" : "64") +
           "-битную версию программы. Библиотека:";
}

// Beside the database, a name no operator's file has, for a file that a
// completed rollback would otherwise have destroyed.
constexpr const char* KeptSuffix = ".quenor-kept-";

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

std::string NotReplaceableLine(const platform::FileResult& result)
{
    const std::string start = "Файл БД нельзя удалить и заменить восстановленным: ";
    switch (result.error) {
    case platform::FileError::ReadOnly:
        return start + "у файла установлен атрибут «только чтение». Снимите его в свойствах файла:";
    case platform::FileError::AccessDenied:
        return start +
               "права доступа к файлу запрещают его изменение или удаление. Дайте учётной записи, под "
               "которой работает программа, право на изменение файла:";
    default:
        return start + FileErrorText(result) + ":";
    }
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

// A name beside `path` for the file found there, unique by the time (UTC)
// and a counter; the caller never replaces a file, so a taken name only
// means the next one is tried.
std::string KeptName(const std::string& path, int attempt)
{
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{now - day};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02u-%02ld%02ld%02ld", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                  static_cast<long>(time.seconds().count()));
    return path + KeptSuffix + stamp + (attempt == 0 ? "" : "-" + std::to_string(attempt));
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
    : CleaningRun(host, *files, *processes, PlatformInstallationFinder())
{
    ownFiles_ = std::move(files);
    ownProcesses_ = std::move(processes);
}

CleaningRun::CleaningRun(CleaningHost& host, platform::FileSystem& files, platform::ProcessRunner& processes,
                         InstallationFinder findInstallation, std::vector<std::string> clientLibraryNames)
    : host_(host),
      files_(files),
      processes_(processes),
      findInstallation_(std::move(findInstallation)),
      clientLibraryNames_(clientLibraryNames),
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
        outcome_ = RunOutcome::NeedsAttention;
        host_.SetScreenCursor(crDefault);
        EndJournal();
        ReleaseDatabase();
        throw;
    }
    ReleaseDatabase();
    // A journal still held here tells the next run what is left to do.
    journal_.reset();
}

void CleaningRun::Run()
{
    const auto started = std::chrono::steady_clock::now();
    sizeBefore_ = 0;
    stopRequested_ = false;
    host_.ClearTrace();
    outcome_ = RunOutcome::Refused;
    std::string path = host_.DatabasePathText();
    WorkingNames names = DeriveWorkingNames(path);
    changing_ = false;
    journalRefused_ = false;
    lingerSeconds_ = 0;
    ownedPath_.clear();

    if (!TakeDatabasePath(path, names) || !MakeSafetyCopy(path, names))
        return;
    host_.Trace(OkLine, clGreen);
    // A stop asked for while a line was written waits for no step.
    if (stopRequested_)
        return FailStopped(path, names, false);

    const bool cleaning = !host_.SkipChecked();
    if (cleaning) {
        if (!stage_.OpenDatabase())
            return FailDatabaseStep(OpenFailedLine, path, names);
        host_.Trace(DeletingLine, clBlue);
        const TDateTime cutOff = host_.CalendarValue();
        if (!MarkChanging(path))
            return FailUnchanged(names);
        if (!stage_.DeleteBeforeDate(cutOff, Watching(RunStep::Deleting, 0)))
            return stopRequested_ ? FailStopped(path, names, false)
                                  : FailDatabaseStep(DeleteFailedLine, path, names);
        host_.Trace(OkLine, clGreen);
        if (!stage_.CloseDatabase())
            return FailDatabaseStep(CloseFailedLine, path, names);
        if (stopRequested_)
            return FailStopped(path, names, false);
    }

    // gbak has exited 0 with indices left inactive, which the product would
    // run without, slowly or with duplicates let in; and the restore is
    // to keep forced writes as the database had them.
    const std::optional<DatabaseStage::Settings> settings = stage_.ReadSettings(path);
    // Read now, while nothing waits on it: asked once the file is held, the
    // attachment would go through the server and make it linger again.
    lingerSeconds_ = stage_.ReadLinger(path).value_or(0);
    // A gbak killed from outside can exit 0 (Wine reports it so) on a cut-off
    // backup or a half-written database: the restore is judged by what it
    // holds too. The product may add log rows meanwhile, never take them
    // away, so the restore must hold at least these.
    const std::optional<DatabaseStage::LogRows> rows = stage_.CountLogRows(path);
    if (!TakeDatabase(path, names))
        return;
    CompactionStage compaction(
        host_, files_, processes_, findInstallation_,
        [this, &settings, &rows](const std::string& restored) {
            return stage_.RestoredDatabaseUsable(restored) &&
                   (!settings || stage_.ReadSettings(restored) == settings) && HoldsTheRows(restored, rows);
        },
        [this, &names](RunStep step, const std::string& input) {
            std::uint64_t size = 0;
            files_.Size(input, size);
            platform::WhileWaiting watching = Watching(step, size);
            return step == RunStep::BackingUp ? CountingWhatIsWritten(std::move(watching), names.fdk) : watching;
        },
        [this, &path] {
            if (stopRequested_)
                return false;
            // gbak's detach may have left a server holding the file for the
            // LINGER; the delete comes next.
            stage_.ReleaseLinger(path);
            if (!MarkChanging(path))
                return false;
            // The file is deleted next; what takes its place is online.
            ownedPath_.clear();
            return true;
        },
        [this] { return HeldFileWaitBound(lingerSeconds_); });
    CompactResult result = compaction.CompactDatabase(path, names.fdk, [this] { return host_.CorrectionChecked(); });
    if (result == cpDone && !MakeRestoredDurable(names, path))
        result = cpRestoreFailed;
    if (result != cpDone && stopRequested_)
        return FailStopped(path, names, result == cpBackupFailed || result == cpRestoreFailed);
    if (result != cpDone)
        return FailCompaction(result, compaction.FailedForLackOfSpace(), path, names);

    host_.UncheckCorrection();
    EndJournal();
    outcome_ = RunOutcome::Done;
    host_.Trace(DoneLine, clGreen);
    host_.SetScreenCursor(crDefault);
    TraceSummary(path, started, cleaning);
}

// What the run achieved, for the operator who has to answer for it: the
// engine's own counts, the file's sizes and the time it all took.
void CleaningRun::TraceSummary(const std::string& path, std::chrono::steady_clock::time_point started, bool cleaned)
{
    if (cleaned)
        host_.Trace("Удалено строк: " + DatabaseStage::DeletedRowsText(stage_.LastDeleted()) + ".", clBlack);
    std::uint64_t after = 0;
    if (sizeBefore_ != 0 && files_.Size(path, after))
        host_.Trace(
            "Размер файла БД: до очистки " + SizeText(sizeBefore_, false) + ", после " + SizeText(after, false) + ".",
            clBlack);
    host_.Trace("Время очистки: " + ElapsedText(std::chrono::steady_clock::now() - started) + ".", clBlack);
}

// The restore made a new file with gbak's owner and default mode, which
// nothing has flushed: a server running as another user must be able to open
// it, and it must survive a power cut before the journal that would bring the
// safety copy back goes away.
bool CleaningRun::MakeRestoredDurable(const WorkingNames& names, const std::string& path)
{
    files_.CopyOwnerAndMode(names.bak, path);
    const platform::FileResult flushed = files_.Flush(path);
    if (!flushed)
        platform::WriteSupportLog("quenor-cleaner: flush the restored database: " + FileErrorText(flushed));
    return static_cast<bool>(flushed);
}

// Settles which file the run is about before any name is derived from it:
// `path` becomes the system's one name for the file, whatever spelling the
// operator's path had, and `names` follow it. Refuses, changing nothing, a
// path that cannot name exactly the file that was picked.
bool CleaningRun::TakeDatabasePath(std::string& path, WorkingNames& names)
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
    std::string canonical;
    const platform::FileResult resolved = files_.Canonical(path, canonical);
    if (resolved.error == platform::FileError::NotInCodePage) {
        Refuse(NotInCodePageLine);
        host_.Trace(path, clRed);
        return false;
    }
    // No system finds a name too long that is not already longer than the
    // engine takes.
    if (resolved.error == platform::FileError::NameTooLong) {
        Refuse(TooLongLine());
        return false;
    }
    if (!resolved) {
        Refuse("Не удалось определить полное имя файла БД: " + FileErrorText(resolved) + ".");
        host_.Trace(path, clRed);
        return false;
    }
    path = canonical;
    names = DeriveWorkingNames(path);
    if (names.bak == path) {
        // Picked by a short name with ".FDB", the file's own name has none.
        host_.Trace(SavingLine, clBlue);
        FailCopy("в имени файла БД нет расширения .fdb");
        return false;
    }
    if (path.size() > LongestDatabasePath) {
        Refuse(TooLongLine());
        return false;
    }
    return true;
}

// Steps up to the safety copy: true when the copy exists and is on the disk.
// Every way it refuses deletes nothing the operator has.
bool CleaningRun::MakeSafetyCopy(const std::string& path, const WorkingNames& names)
{
    if (!ClaimJournal(path, names))
        return false;
    if (!DeleteLeftovers(path, names)) {
        EndJournal();
        return false;
    }

    host_.Trace(SavingLine, clBlue);
    platform::FileResult copied = files_.Copy(path, names.bak, Watching(RunStep::Copying, sizeBefore_));
    if (copied.error == platform::FileError::Stopped) {
        FailStopped(path, names, false);
        return false;
    }
    if (!copied) {
        FailCopy(copied.error == platform::FileError::TargetExists ? "файл " + names.bak + " уже существует"
                                                                   : FileErrorText(copied));
        EndJournal();
        return false;
    }
    // Taken now, while the copy's pages are still in memory: the journal names
    // the copy by it once the database is about to change.
    copyFingerprint_ = Fingerprint(files_, names.bak);
    if (copyFingerprint_.empty()) {
        FailCopy("копия не читается");
        files_.Delete(names.bak);
        EndJournal();
        return false;
    }
    return true;
}

// A row the product commits after the backup has begun would be lost with
// the file that the restore replaces: from here to the restore nobody else
// attaches. Rows committed before are in the backup, and in the file that a
// put-back keeps aside.
bool CleaningRun::TakeDatabase(const std::string& path, const WorkingNames& names)
{
    switch (stage_.TakeOwnership(path)) {
    case DatabaseStage::Ownership::Taken:
        ownedPath_ = path;
        return true;
    case DatabaseStage::Ownership::NotTaken:
        // The file will not attach for gbak either, which fails on it and
        // says so as it always has.
        return true;
    case DatabaseStage::Ownership::Held:
    case DatabaseStage::Ownership::ShutDown:
        break;
    }
    host_.SetScreenCursor(crDefault);
    host_.Trace("Файл БД занят другой программой или закрыт для подключений: сжатие не начато.", clRed);
    if (changing_)
        ReportPutBack(RollBack(path, names, false), path, names);
    else
        TidyUnchanged(names, false);
    return false;
}

// The database the run shut down is open to everyone again while it is still
// at its path: the restored one and the copy put back are online already. A
// product attached as SYSDBA may hold the one place that maintenance leaves
// for a moment.
void CleaningRun::ReleaseDatabase()
{
    if (ownedPath_.empty())
        return;
    const std::string path = std::exchange(ownedPath_, {});
    if (files_.KindOf(path) != platform::PathKind::File)
        return;
    constexpr int Attempts = 8;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        if (stage_.BringOnline(path))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    TraceWithPath(host_, "База данных осталась в режиме обслуживания, программы к ней не подключатся:", path);
    host_.Trace("Запустите очистку ещё раз или выполните для файла «gfix -online».", clRed);
}

// From here on the database may change: should this run die, the next one
// must know which file holds the original. Until then the original is where
// it was, and a dead run's copy is a leftover like any other.
bool CleaningRun::MarkChanging(const std::string& path)
{
    if (changing_)
        return true;
    const platform::FileResult written = journal_->Write(WriteJournalEntry({RunStage::Changing, copyFingerprint_}));
    if (!written) {
        host_.SetScreenCursor(crDefault);
        host_.Trace("Не удалось записать журнал очистки: " + FileErrorText(written) + ".", clRed);
        host_.Trace(JournalName(path), clRed);
        journalRefused_ = true;
        return false;
    }
    changing_ = true;
    return true;
}

// Takes the file for this run alone. A journal left by a run that died after
// its copy is dealt with first, and the run stops there: the operator learns
// what happened before anything new is done to the file.
bool CleaningRun::ClaimJournal(const std::string& path, const WorkingNames& names)
{
    const std::string journalName = JournalName(path);
    platform::JournalClaim claim = platform::ClaimRunJournal(journalName, files_.Identity(path));
    if (claim.outcome == platform::ClaimOutcome::HeldByAnotherRun) {
        Refuse(AnotherRunLine);
        return false;
    }
    if (claim.outcome == platform::ClaimOutcome::HeldByAnotherProgram) {
        Refuse(JournalHeldLine);
        host_.Trace(journalName, clRed);
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
    if (const std::string other = InterruptedUnderAnotherName(path); !other.empty()) {
        Refuse(
            "Предыдущая очистка этого файла БД под другим именем была прервана. Запустите очистку для файла с "
            "этим именем:");
        host_.Trace(other, clRed);
        EndJournal();
        return false;
    }
    // Dead before it changed anything, an earlier run left the database as it
    // was; its copy is a leftover like any other.
    const platform::FileResult written = journal_->Write(WriteJournalEntry({RunStage::Copying, {}}));
    if (!written) {
        Refuse("Не удалось записать журнал очистки: " + FileErrorText(written) + ".");
        host_.Trace(journalName, clRed);
        EndJournal();
        return false;
    }
    return true;
}

// A hard link is one more name of the same file. A run on another name
// beside it that died after it began to change the file left its journal
// under that name, and the original in that name's copy: a copy made now
// would be of a changed file, and that name's put-back would later undo
// whatever this run did. Returns that other name, or nothing.
std::string CleaningRun::InterruptedUnderAnotherName(const std::string& path)
{
    constexpr std::size_t LongestJournal = 4096;
    const std::string identity = files_.Identity(path);
    if (identity.empty())
        return {};
    const std::string own = JournalName(path);
    const std::size_t suffixLength = std::strlen(JournalSuffix);
    for (const std::string& journal :
         files_.FilesEndingWith(path.substr(0, platform::FileNameStart(path)), JournalSuffix)) {
        const std::string database = journal.substr(0, journal.size() - suffixLength);
        if (journal == own || files_.Identity(database) != identity)
            continue;
        // A journal that a live run holds cannot be read; its lock keeps
        // this run out already.
        std::string content;
        const bool read = static_cast<bool>(files_.Read(journal, [&](const char* data, std::size_t size) {
            content.append(data, std::min(size, LongestJournal - std::min(content.size(), LongestJournal)));
        }));
        const RunStage stage = ReadJournalEntry(content).stage;
        if (read && (stage == RunStage::Changing || stage == RunStage::Unreadable))
            return database;
    }
    return {};
}

// Completes the rollback of a run that died after it began to change the
// database: its safety copy goes back in place, and whatever the dead run
// left at the database path, which the product may have written into since,
// is kept beside it under a name of its own.
void CleaningRun::FinishInterruptedRun(const JournalEntry& found, const std::string& path, const WorkingNames& names)
{
    host_.SetScreenCursor(crDefault);
    // Until the copy is back in place, the files need the operator's look.
    outcome_ = RunOutcome::NeedsAttention;
    host_.Trace(InterruptedLine, clRed);
    if (found.stage == RunStage::Unreadable) {
        // Not written by this tool: guessing could put an old file back.
        TraceWithPath(host_, "Журнал прерванной очистки не удалось прочитать:", JournalName(path));
        host_.Trace("Проверьте файл БД и его копию (*.bak), затем удалите журнал.", clRed);
        return;
    }
    if (files_.KindOf(path) == platform::PathKind::File && Fingerprint(files_, path) == found.copyFingerprint) {
        // The dead run had put its copy back already.
        TraceBackInPlace(host_, path);
        EndJournal();
        outcome_ = RunOutcome::InterruptedRunCompleted;
        return;
    }
    if (files_.KindOf(names.bak) == platform::PathKind::Missing) {
        TraceWithPath(host_, "Сохранённая копия прерванной очистки не найдена; проверьте файл БД:", path);
        EndJournal();
        return;
    }
    if (Fingerprint(files_, names.bak) != found.copyFingerprint) {
        // Something else has its name now, or the copy was changed: it may
        // still be the only good copy, so nothing is moved and the journal
        // stays, and the next run never deletes it as a leftover.
        TraceWithPath(host_, "Файл копии не совпадает с копией прерванной очистки; он не тронут:", names.bak);
        TraceWithPath(host_, "Проверьте файл БД и копию, затем удалите журнал:", JournalName(path));
        return;
    }
    std::string kept;
    if (files_.KindOf(path) != platform::PathKind::Missing) {
        const platform::FileResult keptResult = KeepAside(path, kept);
        if (!keptResult) {
            host_.Trace("Не удалось сохранить файл, находящийся на месте БД: " + FileErrorText(keptResult) + ".",
                        clRed);
            TraceWithPath(host_, "Оригинал сохранён в файле:", names.bak);
            return;
        }
    }
    files_.Delete(names.fdk);
    const platform::FileResult putBack = files_.PutBack(names.bak, path);
    if (!kept.empty())
        TraceWithPath(host_, "Файл, который был на месте БД, сохранён как:", kept);
    if (!putBack) {
        // The journal stays, so the next run tries again and never deletes
        // the copy as a leftover.
        TracePutBackFailed(host_, putBack, names.bak);
        return;
    }
    TraceBackInPlace(host_, path);
    EndJournal();
    outcome_ = RunOutcome::InterruptedRunCompleted;
}

// A second name for the file at `path`, so that replacing it destroys
// nothing; the file at `path` stays where it is.
platform::FileResult CleaningRun::KeepAside(const std::string& path, std::string& kept)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        kept = KeptName(path, attempt);
        const platform::FileResult result = files_.KeepAs(path, kept);
        if (result || result.error != platform::FileError::TargetExists)
            return result;
    }
    return {platform::FileError::TargetExists, 0};
}

// Leftovers of an earlier run are deleted only once the file at the database
// path is known to be a database: after a power cut or a copy gone wrong they
// may be the only good copies left.
bool CleaningRun::DeleteLeftovers(const std::string& path, const WorkingNames& names)
{
    switch (files_.KindOf(path)) {
    case platform::PathKind::Missing:
        // The copy below fails and says why; the leftovers stay.
        return true;
    case platform::PathKind::Folder:
        Refuse("По пути файла БД находится папка, а не файл:");
        host_.Trace(path, clRed);
        return false;
    case platform::PathKind::Link:
    case platform::PathKind::Other:
        Refuse("По пути файла БД находится не обычный файл:");
        host_.Trace(path, clRed);
        return false;
    case platform::PathKind::File:
        break;
    }
    // The compaction deletes the file and the restore puts a new one in its
    // place; a file that cannot be replaced would be left behind as it is,
    // with every run after this one failing the same way.
    if (const platform::FileResult replaceable = files_.CheckReplaceable(path); !replaceable) {
        Refuse(NotReplaceableLine(replaceable));
        host_.Trace(path, clRed);
        return false;
    }
    if (!HasRoom(path, names) || !FirebirdReady())
        return false;
    const bool anyLeftover = files_.KindOf(names.bak) != platform::PathKind::Missing ||
                             files_.KindOf(names.fdk) != platform::PathKind::Missing;
    if (!anyLeftover)
        return true;
    switch (stage_.CheckFile(path)) {
    case DatabaseStage::FileCheck::Database:
    case DatabaseStage::FileCheck::ShutDown:
        break;
    case DatabaseStage::FileCheck::NoClient:
        Refuse(NoClientLine);
        return false;
    case DatabaseStage::FileCheck::NotADatabase:
        Refuse("Файл БД не открывается как база данных (повреждён, не является базой или занят другим процессом):");
        host_.Trace(path, clRed);
        TraceWithPath(host_, "Копии прошлой очистки не удалены; проверьте их:", names.bak);
        return false;
    }
    files_.Delete(names.bak);
    files_.Delete(names.fdk);
    return true;
}

// A volume too small for the run's peak would have the backup or the
// restore fail only after many minutes of work; refused now, nothing has
// changed yet. Without figures to go by, the run goes on: a step that runs
// out of room still fails safely and says so.
bool CleaningRun::HasRoom(const std::string& path, const WorkingNames& names)
{
    RoomForRun room;
    if (const platform::FileResult measured = MeasureRoom(files_, path, names, room); !measured) {
        platform::WriteSupportLog("quenor-cleaner: measure the room for the run: " + FileErrorText(measured));
        return true;
    }
    sizeBefore_ = room.databaseSize;
    if (room.Enough())
        return true;
    Refuse(NoRoomLine(room));
    TraceWithPath(host_, "Освободите место на диске или перенесите файл БД на диск, где места больше:", path);
    return false;
}

// Without gbak the compaction could only fail after the rows were deleted,
// and the run would put them back for nothing: looked for now, with the
// client that goes with it, while nothing has changed.
bool CleaningRun::FirebirdReady()
{
    const platform::FirebirdInstallation installation = findInstallation_();
    using Lookup = platform::FirebirdInstallation::Lookup;
    switch (installation.lookup) {
    case Lookup::Found:
        break;
    case Lookup::KeyMissing:
        Refuse(CompactionFailureLine(cpKeyMissing));
        return false;
    case Lookup::KeyNotOpened:
        Refuse(CompactionFailureLine(cpKeyNotOpened));
        return false;
    case Lookup::GbakMissing:
    case Lookup::NotInstalled:
        Refuse(installation.lookup == Lookup::GbakMissing ? CompactionFailureLine(cpGbakMissing) : NotInstalledLine);
        host_.Trace(LookedInLine, clRed);
        for (const std::string& place : installation.lookedIn)
            host_.Trace(place, clRed);
        return false;
    }
    // The installation's own client first, so that it and its gbak speak
    // the same version, and a stale client elsewhere on the path is not
    // the one that attaches.
    stage_.PreferClientLibraries(platform::ClientLibrariesToTry(installation, clientLibraryNames_));
    if (!installation.otherBitnessClient.empty() && !stage_.LoadClient()) {
        Refuse(OtherBitnessLine(installation.otherBitnessClient));
        host_.Trace(installation.otherBitnessClient, clRed);
        return false;
    }
    return true;
}

// Reports where the step stands to a host that follows it, and hands on its
// request to stop. Once at the start, so the step shows before its first
// interval has passed.
platform::WhileWaiting CleaningRun::Watching(RunStep step, std::uint64_t inputSize)
{
    if (!host_.FollowsProgress())
        return {};
    auto progress = std::make_shared<StepProgress>(step, inputSize);
    host_.KeepAlive(progress->At(0));
    return [this, progress](platform::BytesSoFar bytes) {
        host_.KeepAlive(progress->At(bytes));
        return !stopRequested_;
    };
}

bool CleaningRun::HoldsTheRows(const std::string& restored, const std::optional<DatabaseStage::LogRows>& before)
{
    if (!before)
        return true;
    const std::optional<DatabaseStage::LogRows> after = stage_.CountLogRows(restored);
    if (after && after->log >= before->log && after->errorsLog >= before->errorsLog)
        return true;
    platform::WriteSupportLog("quenor-cleaner: the restored database holds fewer log rows than the database did");
    return false;
}

// When a server reads the database for gbak, gbak's own reads hardly move;
// what the backup has written then shows how far it has come. Against the
// database's size it is a lower bound: a backup holds no index pages.
platform::WhileWaiting CleaningRun::CountingWhatIsWritten(platform::WhileWaiting watching, const std::string& output)
{
    if (!watching)
        return watching;
    return [this, watching = std::move(watching), output](platform::BytesSoFar read) {
        std::uint64_t written = 0;
        if (!files_.Size(output, written))
            return watching(read);
        return watching(std::max(read.value_or(0), written));
    };
}

// The operator stopped the run: the road of a failed step, with the line
// that says why.
void CleaningRun::FailStopped(const std::string& path, const WorkingNames& names, bool deleteBackup)
{
    host_.SetScreenCursor(crDefault);
    stage_.DropConnection();
    host_.Trace(StoppedLine, clRed);
    if (!changing_) {
        TidyUnchanged(names, deleteBackup);
        TraceWithPath(host_, "Файл БД не изменён:", path);
        return;
    }
    ReportPutBack(RollBack(path, names, deleteBackup), path, names);
}

void CleaningRun::Refuse(const std::string& line)
{
    outcome_ = RunOutcome::Refused;
    host_.SetScreenCursor(crDefault);
    host_.Trace(line, clRed);
}

void CleaningRun::FailCopy(const std::string& cause)
{
    outcome_ = RunOutcome::Refused;
    host_.SetScreenCursor(crDefault);
    host_.Trace(CopyFailedLine, clRed);
    host_.Trace("Причина: " + cause + ".", clRed);
}

void CleaningRun::FailDatabaseStep(const char* message, const std::string& path, const WorkingNames& names)
{
    host_.SetScreenCursor(crDefault);
    host_.Trace(message, clRed);
    if (message == OpenFailedLine) {
        if (stage_.LastOpenFailure() == DatabaseStage::OpenFailure::NoClient)
            host_.Trace(NoClientLine, clRed);
        else if (stage_.LastOpenFailure() == DatabaseStage::OpenFailure::Installation)
            host_.Trace(InstallationLine, clRed);
    }
    // A failed step can leave the file attached, which would block the
    // put-back below.
    stage_.DropConnection();
    if (!changing_)
        return TidyUnchanged(names, false);
    ReportPutBack(RollBack(path, names, false), path, names);
}

// The journal could not say that the database is about to change, so nothing
// was changed; only the run's own working files go.
void CleaningRun::FailUnchanged(const WorkingNames& names)
{
    stage_.DropConnection();
    TidyUnchanged(names, false);
}

void CleaningRun::FailCompaction(CompactResult result, bool lackOfSpace, const std::string& path,
                                 const WorkingNames& names)
{
    host_.SetScreenCursor(crDefault);
    const bool backupMade = result == cpBackupFailed || result == cpRestoreFailed;
    const auto traceFailure = [&] {
        host_.Trace(CompactionFailureLine(result), clRed);
        if (lackOfSpace)
            host_.Trace(DiskFullLine, clRed);
    };
    if (!changing_) {
        TidyUnchanged(names, backupMade);
        if (!journalRefused_)
            traceFailure();
        return;
    }
    const platform::FileResult putBack = RollBack(path, names, backupMade);
    traceFailure();
    ReportPutBack(putBack, path, names);
}

// The database is the original still: nothing to put back, and the copy of
// it is not needed.
void CleaningRun::TidyUnchanged(const WorkingNames& names, bool deleteBackup)
{
    outcome_ = RunOutcome::RolledBack;
    if (deleteBackup)
        files_.Delete(names.fdk);
    files_.Delete(names.bak);
    EndJournal();
}

// The copy replaces whatever is at the database path in one step, or nothing
// changes: a file another process holds is never left half replaced, and
// the path is never left empty.
platform::FileResult CleaningRun::RollBack(const std::string& path, const WorkingNames& names, bool deleteBackup)
{
    if (deleteBackup)
        files_.Delete(names.fdk);
    // After a failed or stopped step the server may still hold the file for
    // a while; the put-back waits for it, keeping the window painted, and
    // heeds no stop: the original must come back.
    const auto progress = std::make_shared<StepProgress>(RunStep::Restoring, 0);
    return RetryWhileHeld(
        host_, [this] { return HeldFileWaitBound(lingerSeconds_); },
        [this, progress] {
            if (host_.FollowsProgress())
                host_.KeepAlive(progress->At(std::nullopt));
            return true;
        },
        [&] { return files_.PutBack(names.bak, path); });
}

void CleaningRun::ReportPutBack(const platform::FileResult& putBack, const std::string& path, const WorkingNames& names)
{
    if (putBack) {
        ownedPath_.clear();
        outcome_ = RunOutcome::RolledBack;
        TraceBackInPlace(host_, path);
        EndJournal();
        return;
    }
    // The journal is kept: the next run finishes the put-back first and
    // never deletes the copy as a leftover.
    outcome_ = RunOutcome::NeedsAttention;
    TracePutBackFailed(host_, putBack, names.bak);
}

void CleaningRun::EndJournal()
{
    if (journal_ && !journal_->Remove())
        host_.Trace("Не удалось удалить журнал очистки; удалите его до следующей очистки.", clRed);
    journal_.reset();
}
