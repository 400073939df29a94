#include "clean/CleaningRun.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "clean/CopyFingerprint.h"
#include "clean/SharedStrings.h"
#include "platform/Registry.h"
#include "tests/support/AttachedDatabase.h"
#include "tests/support/ClientFaults.h"
#include "tests/support/FakeRegistry.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdVariable.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RoomTakenLater.h"
#include "tests/support/StandInFirebird.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Events = RecordingHost::Events;

bool Present(const std::string& path)
{
    std::error_code ignored;
    return !path.empty() && fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

using namespace run_events;

// A size as the operator reads it, worked out apart from the program's own
// formatting: kilobytes below a megabyte, megabytes below ten gigabytes
// (the sizes these tests make), rounded up for room needed and down for room
// free and for file sizes.
std::string SizeAsRead(std::uint64_t bytes, bool roundUp)
{
    const double kilobytes = static_cast<double>(bytes) / 1024;
    const double megabytes = kilobytes / 1024;
    EXPECT_LT(megabytes, 10.0 * 1024) << "a size the tests do not make";
    const double shown = megabytes < 1 ? kilobytes : megabytes;
    const auto whole = static_cast<long long>(roundUp ? std::ceil(shown) : std::floor(shown));
    return std::to_string(whole) + (megabytes < 1 ? " КБ" : " МБ");
}

// The room a run needs beyond a database of `size` bytes, by the rule the
// README gives: twice the database, an eighth of it more, and 4 MiB.
std::uint64_t RoomRuleBeyond(std::uint64_t size)
{
    return size * 2 + size / 8 + std::uint64_t{4} * 1024 * 1024;
}

const Events SuccessRoad = {Busy, "clear",   Saving, Ok,        Deleting, Ok,    BackingUp,
                            Ok,   Restoring, Ok,     "uncheck", Done,     Normal};
const Events CopiedAndCleaned = {Busy, "clear", Saving, Ok, Deleting, Ok};
const Events Copied = {Busy, "clear", Saving, Ok};

// A gbak script whose restore is the real one followed by `command`, which
// finds the restored database in $database (the argument before "-user",
// whatever switches come first); the restore fails when `command` does.
std::string RestoreThen(const std::string& command)
{
    return "if [ \"$1\" = -c ]; then\n  /usr/bin/gbak \"$@\" || exit\n"
           "  while [ \"$1\" != -user ]; do database=$1; shift; done\n  " +
           command + " || exit\n  exit 0\nfi\nexec /usr/bin/gbak \"$@\"";
}

// What `first` finds at the first lookup, and `later` at every one after it.
InstallationFinder FoundThen(InstallationFinder first, InstallationFinder later)
{
    auto lookups = std::make_shared<int>(0);
    return [=] { return (*lookups)++ == 0 ? first() : later(); };
}

Events Join(Events head, const Events& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const std::string OldAndNewRows = std::string(QuenorLogTables) + QuenorOldAndNewRows;
// Enough rows that the backup takes far more room than a few pages.
const std::string ManyRows =
    "COMMIT;\nSET TERM ^;\n"
    "EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < 20000) DO BEGIN "
    "INSERT INTO log VALUES (:i + 10, '2001-03-01 10:00:00'); i = i + 1; END END^\n"
    "SET TERM ;^\nCOMMIT;\n";

class CleaningRunTest : public ::testing::Test {
public:
    void SetUp() override
    {
        host.path = dir.File("MAIN.fdb");
        DBFileName = host.path;
        RecordSafetyCopyAtRedLines();
    }

    // Whether the safety copy existed when each red line was traced tells
    // whether the line came before or after the rollback.
    void RecordSafetyCopyAtRedLines()
    {
        host.afterTrace = [this](TColor colour) {
            if (colour == clRed)
                safetyCopyAtRedLine.push_back(Present(Bak()));
        };
    }
    void TearDown() override { DBFileName.clear(); }

    // A table row's own host and database, in `caseDir`.
    void StartCaseWithDatabaseIn(const TempDir& caseDir)
    {
        host = RecordingHost{};
        host.path = caseDir.File("MAIN.fdb");
        DBFileName = host.path;
        CreateFirebirdDatabase(host.path, OldAndNewRows);
    }

    std::string Fdk() const { return DeriveWorkingNames(host.path).fdk; }
    std::string Bak() const { return DeriveWorkingNames(host.path).bak; }

    // A Firebird installation whose bin/gbak is the given shell script.
    InstallationFinder StandInGbak(const std::string& script)
    {
        return FakeRegistryFactory(true, true, ::StandInFirebird(dir.File("firebird"), script) + "/");
    }

    void Run(InstallationFinder registry = PlatformInstallationFinder())
    {
        CleaningRun run(host, *files, *processes, std::move(registry), clientLibraries);
        run.RunCleaning();
        EXPECT_FALSE(run.Running());
    }

    TempDir dir;
    RecordingHost host;
    std::vector<bool> safetyCopyAtRedLine;
    std::vector<std::string> clientLibraries = platform::FirebirdClientLibraryNames();
    std::unique_ptr<DetachFault> detachFault;
    std::unique_ptr<platform::FileSystem> files = platform::CreateFileSystem();
    std::unique_ptr<platform::ProcessRunner> processes = platform::CreateProcessRunner();
};

TEST_F(CleaningRunTest, SuccessCleansCompactsAndKeepsBothWorkingFiles)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows);
    const std::string before = ReadFileBytes(host.path);
    host.correction = true;

    Run();

    EXPECT_EQ(host.events, SuccessRoad);
    EXPECT_FALSE(host.correction);
    EXPECT_EQ(ReadFileBytes(Bak()), before) << "the safety copy holds the database as it was";
    EXPECT_TRUE(Present(Fdk())) << "the gbak backup stays";
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM log WHERE id = 2"), 1);
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM log"), 1);
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM ERRORS_LOG WHERE id = 2"), 1);
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM ERRORS_LOG"), 1);
}

// A database with a LINGER stays open after its last detach: in the
// engine of this process, gbak could not open it for the backup. The run's
// own attachments after the delete's close it at once, without a wait.
TEST_F(CleaningRunTest, ADatabaseWithALingerIsCleanedWithoutWaitingForIt)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows + "ALTER DATABASE SET LINGER TO 60;\nCOMMIT;\n");
    const auto started = std::chrono::steady_clock::now();

    Run();

    EXPECT_EQ(host.events, SuccessRoad);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 50s) << "the run waited out the LINGER";
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM log"), 1);
    EXPECT_EQ(QueryInteger(host.path, "SELECT RDB$LINGER FROM RDB$DATABASE"), 60) << "the restore keeps the LINGER";
}

TEST_F(CleaningRunTest, ADoneRunSumsUpWhatItDeletedItsSizesAndItsTime)
{
    // Counts that differ between the tables, so that one read for the other
    // shows; the new rows must not be counted.
    const std::string rows = std::string(QuenorLogTables) +
                             "INSERT INTO log VALUES (1, '1999-03-01 10:00:00');\n"
                             "INSERT INTO log VALUES (2, '1999-04-01 10:00:00');\n"
                             "INSERT INTO log VALUES (3, '1999-05-01 10:00:00');\n"
                             "INSERT INTO log VALUES (4, '2001-03-01 10:00:00');\n"
                             "INSERT INTO ERRORS_LOG VALUES (1, '1998-03-01 10:00:00');\n"
                             "INSERT INTO ERRORS_LOG VALUES (2, '2002-03-01 10:00:00');\n" +
                             ManyRows;
    const struct {
        const char* name;
        bool skip;
    } cases[] = {{"cleaned", false}, {"only compacted", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        host = RecordingHost{};
        host.path = caseDir.File("MAIN.fdb");
        host.skip = c.skip;
        DBFileName = host.path;
        CreateFirebirdDatabase(host.path, rows);
        const long long logBefore = QueryInteger(host.path, "SELECT COUNT(*) FROM log");
        const long long errorsBefore = QueryInteger(host.path, "SELECT COUNT(*) FROM ERRORS_LOG");
        const std::uint64_t sizeBefore = fs::file_size(host.path);

        const auto started = std::chrono::steady_clock::now();
        Run();
        const auto took = std::chrono::steady_clock::now() - started;

        ASSERT_EQ(host.events.back(), Normal);
        ASSERT_EQ(host.events[host.events.size() - 2], Done);
        std::vector<std::string> summary;
        for (const RecordingHost::Information& line : host.information) {
            EXPECT_EQ(line.after, host.events.size()) << "after \"Done!\": " << line.text;
            summary.push_back(line.text);
        }
        std::vector<std::string> expected;
        if (!c.skip) {
            const long long logDeleted = logBefore - QueryInteger(host.path, "SELECT COUNT(*) FROM log");
            const long long errorsDeleted = errorsBefore - QueryInteger(host.path, "SELECT COUNT(*) FROM ERRORS_LOG");
            EXPECT_EQ(logDeleted, 3);
            EXPECT_EQ(errorsDeleted, 1);
            expected.push_back("Удалено строк: log — " + std::to_string(logDeleted) + ", ERRORS_LOG — " +
                               std::to_string(errorsDeleted) + ".");
        }
        expected.push_back("Размер файла БД: до очистки " + SizeAsRead(sizeBefore, false) + ", после " +
                           SizeAsRead(fs::file_size(host.path), false) + ".");
        ASSERT_EQ(summary.size(), expected.size() + 1);
        EXPECT_EQ(std::vector<std::string>(summary.begin(), summary.end() - 1), expected);
        // Hours, minutes and seconds, and no longer than the run took: a
        // busy machine may make it more than a minute.
        std::smatch time;
        ASSERT_TRUE(
            std::regex_match(summary.back(), time, std::regex("Время очистки: (\\d+):([0-5][0-9]):([0-5][0-9])\\.")))
            << summary.back();
        const long long shown = std::stoll(time[1]) * 3600 + std::stoll(time[2]) * 60 + std::stoll(time[3]);
        EXPECT_LE(shown, std::chrono::duration_cast<std::chrono::seconds>(took).count()) << summary.back();
    }
}

// A host that follows the run hears every long step in the run's order,
// each with a share that never goes back and stays short of 100 until the
// step is over.
TEST_F(CleaningRunTest, AFollowedRunReportsEachLongStepInOrder)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows + ManyRows);
    std::vector<RunStep> steps;
    bool goingBack = false;
    bool overNinetyNine = false;
    int lastPercent = 0;
    host.onProgress = [&](const RunProgress& progress) {
        if (steps.empty() || steps.back() != progress.step) {
            steps.push_back(progress.step);
            lastPercent = 0;
        }
        if (progress.percent) {
            goingBack = goingBack || *progress.percent < lastPercent;
            overNinetyNine = overNinetyNine || *progress.percent > 99;
            lastPercent = *progress.percent;
        }
    };

    Run();

    EXPECT_EQ(host.events, SuccessRoad);
    EXPECT_EQ(steps, (std::vector<RunStep>{RunStep::Copying, RunStep::Deleting, RunStep::BackingUp,
                                           RunStep::Restoring}));
    EXPECT_FALSE(goingBack);
    EXPECT_FALSE(overNinetyNine);
}

// A backup whose reading gbak's counters do not show (a server reads the
// database for it) is followed by what it writes: the share grows with the
// .fdk, never goes back and stays below 100.
TEST_F(CleaningRunTest, ABackupShowsItsProgressByWhatItWritesWhenItsReadsDoNotShow)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows + ManyRows);
    // Eight tenths of the database's size written a tenth at a time by the
    // shell's own printf, which reads nothing (a child's reads would count
    // as the shell's once it is reaped), before the real gbak makes the
    // backup.
    const std::string started = dir.File("real gbak started");
    const InstallationFinder gbak = StandInGbak(
        "if [ \"$1\" = -b ]; then\n"
        "  chunk=$(( $(stat -c %s \"$3\") / 10 )); i=0\n"
        "  while [ $i -lt 8 ]; do printf \"%${chunk}s\" \"\" >> \"$4\"; sleep 0.2; i=$((i + 1)); done\n"
        "  : > '" + started + "'\n"
        "fi\n"
        "exec /usr/bin/gbak \"$@\"");
    int mostBeforeRealGbak = 0;
    int lastPercent = 0;
    bool goingBack = false;
    bool overNinetyNine = false;
    host.onProgress = [&](const RunProgress& progress) {
        if (progress.step != RunStep::BackingUp || !progress.percent)
            return;
        goingBack = goingBack || *progress.percent < lastPercent;
        overNinetyNine = overNinetyNine || *progress.percent > 99;
        lastPercent = *progress.percent;
        if (!fs::exists(started))
            mostBeforeRealGbak = std::max(mostBeforeRealGbak, *progress.percent);
    };

    Run(gbak);

    EXPECT_EQ(host.events, SuccessRoad);
    EXPECT_GE(mostBeforeRealGbak, 50) << "the share followed the backup's writes";
    EXPECT_FALSE(goingBack);
    EXPECT_FALSE(overNinetyNine);
}

// A server keeps the file open for a while after the backup (its LINGER);
// here another process holds it locked as Firebird's server does. The run
// waits for it, saying so, before it deletes the file for the restore;
// held for longer than it waits, the restore's road is taken and the
// put-back waits the same way.
TEST_F(CleaningRunTest, AFileHeldAfterTheBackupIsWaitedForBeforeItIsDeleted)
{
    const std::string red = "red ";
    const std::string waiting =
        "blue Файл БД ещё занят другим процессом, ожидание до 10 с...";
    const struct {
        const char* name;
        int heldSeconds;  // from the backup's end
        Events tail;
    } cases[] = {
        {"released within the wait", 2, {BackingUp, Ok, waiting, Restoring, Ok, "uncheck", Done, Normal}},
        {"held longer than the wait, released during the put-back's", 15,
         {BackingUp, Ok, waiting,
          red + "Файл БД не удалось удалить перед восстановлением: файл занят другим процессом.", Normal, waiting,
          red + "Не удалось восстановить (*.fdk -> *.fdb)!", red + "Оригинальный файл БД возвращён на место:",
          red + "{db}"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        StartCaseWithDatabaseIn(caseDir);
        // The real backup, then a holder of its own session, so that nothing
        // of the run's waits for it or ends it; gbak ends once it holds.
        const InstallationFinder gbak = StandInGbak(
            "if [ \"$1\" = -b ]; then\n"
            "  /usr/bin/gbak \"$@\" || exit $?\n"
            "  setsid flock -x \"$3\" sleep " + std::to_string(c.heldSeconds) + " </dev/null >/dev/null 2>&1 &\n"
            "  while flock -n -x \"$3\" true; do sleep 0.05; done\n"
            "  exit 0\n"
            "fi\n"
            "exec /usr/bin/gbak \"$@\"");

        Run(gbak);

        Events expected = Join(CopiedAndCleaned, c.tail);
        for (std::string& event : expected)
            if (const auto at = event.find("{db}"); at != std::string::npos)
                event.replace(at, 4, host.path);
        EXPECT_EQ(host.events, expected);
        EXPECT_TRUE(Present(host.path));
    }
}

// The operator stops the run in each long step: the step ends there and
// then (the copy abandoned, the statement cancelled, gbak killed), the lines
// say so, and the database is the original byte for byte.
TEST_F(CleaningRunTest, AStopInEachLongStepPutsTheOriginalBack)
{
    const std::string red = "red ";
    const Events stopped = {Normal, red + "Очистка остановлена оператором."};
    const Events backInPlace = {red + "Оригинальный файл БД возвращён на место:", red + "{db}"};
    const struct {
        const char* name;
        RunStep stopIn;
        std::string extraSql;
        std::string gbakScript;  // empty: the real gbak
        Events tail;
    } cases[] = {
        {"copy", RunStep::Copying, "", "",
         Join({Saving}, Join(stopped, {red + "Файл БД не изменён:", red + "{db}"}))},
        {"delete", RunStep::Deleting, SlowLogDelete, "", Join({Saving, Ok, Deleting}, Join(stopped, backInPlace))},
        {"backup", RunStep::BackingUp, "", GbakSleepingAt("-b"),
         Join({Saving, Ok, Deleting, Ok, BackingUp}, Join(stopped, backInPlace))},
        {"restore", RunStep::Restoring, "", GbakSleepingAt("-c"),
         Join({Saving, Ok, Deleting, Ok, BackingUp, Ok, Restoring}, Join(stopped, backInPlace))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir.File("firebird"));
        fs::remove(host.path);
        CreateFirebirdDatabase(host.path, OldAndNewRows + c.extraSql);
        const std::string before = ReadFileBytes(host.path);
        host.events.clear();
        CleaningRun run(host, *files, *processes,
                        c.gbakScript.empty() ? FakeRegistryFactory(true, true, "/usr/") : StandInGbak(c.gbakScript),
                        clientLibraries);
        // Asked once the step has surely begun its work.
        std::optional<std::chrono::steady_clock::time_point> stopAsked;
        host.onProgress = [&](const RunProgress& progress) {
            if (progress.step == c.stopIn && (c.stopIn == RunStep::Copying || progress.elapsed > 300ms)) {
                if (!stopAsked)
                    stopAsked = std::chrono::steady_clock::now();
                run.RequestStop();
            }
        };

        run.RunCleaning();

        // Timed from the stop: a step it did not end would go on for the
        // minute gbak sleeps or the delete takes, while the steps before it,
        // which a busy machine slows most, are left out.
        ASSERT_TRUE(stopAsked) << "the step never came";
        EXPECT_LT(std::chrono::steady_clock::now() - *stopAsked, 30s) << "the step was not ended";
        Events expected = Join({Busy, "clear"}, c.tail);
        for (std::string& event : expected)
            if (const auto at = event.find("{db}"); at != std::string::npos)
                event.replace(at, 4, host.path);
        EXPECT_EQ(host.events, expected);
        EXPECT_TRUE(ReadFileBytes(host.path) == before) << "the original is back byte for byte";
        EXPECT_FALSE(Present(Bak()));
        EXPECT_FALSE(Present(Fdk()));
        EXPECT_EQ(run.Outcome(), RunOutcome::RolledBack);
    }
}

// Over a route that cannot cancel a statement (the local protocol to a
// server), the stop says that it waits for the delete's end, asks the client
// only once, and then takes the same road back to the original.
TEST_F(CleaningRunTest, AStopThatCannotCancelTheDeleteSaysItWaitsForIt)
{
    const std::string red = "red ";
    CreateFirebirdDatabase(host.path, OldAndNewRows + SecondPerDeletedLogRow);
    const std::string before = ReadFileBytes(host.path);
    clientLibraries = {FAULTY_FBCLIENT_LIBRARY};
    CancelRefused refused(FAULTY_FBCLIENT_LIBRARY);
    CleaningRun run(host, *files, *processes, FakeRegistryFactory(true, true, "/usr/"), clientLibraries);
    host.onProgress = [&](const RunProgress& progress) {
        if (progress.step == RunStep::Deleting && progress.elapsed > 300ms)
            run.RequestStop();
    };

    run.RunCleaning();

    EXPECT_EQ(host.events,
              (Events{Busy, "clear", Saving, Ok, Deleting,
                      "blue Удаление нельзя прервать: остановка после его окончания.", Normal,
                      red + "Очистка остановлена оператором.", red + "Оригинальный файл БД возвращён на место:",
                      red + host.path}));
    EXPECT_EQ(refused.Calls(), 1) << "the route answers the same every time it is asked";
    EXPECT_TRUE(ReadFileBytes(host.path) == before) << "the original is back byte for byte";
    EXPECT_FALSE(Present(Bak()));
    EXPECT_EQ(run.Outcome(), RunOutcome::RolledBack);
}

TEST_F(CleaningRunTest, SkipFlagGoesStraightFromTheCopyToCompaction)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows);
    host.skip = true;

    Run();

    EXPECT_EQ(host.events, (Events{Busy, "clear", Saving, Ok, BackingUp, Ok, Restoring, Ok, "uncheck", Done, Normal}));
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM log"), 2);
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM ERRORS_LOG"), 2);
}

TEST_F(CleaningRunTest, SecondRunReplacesTheLeftoversOfTheFirst)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows);
    Run();
    host.events.clear();
    host.calendar = {2001, 6, 1, 0, 0, 0, 0};

    Run();

    EXPECT_EQ(host.events, SuccessRoad);
    EXPECT_EQ(QueryInteger(Bak(), "SELECT COUNT(*) FROM log"), 1) << "the new copy holds what the first run left";
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM log"), 0);
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM ERRORS_LOG"), 1);
}

TEST_F(CleaningRunTest, EveryFailurePutsTheDatabaseBackOrLeavesItAlone)
{
    const std::string red = "red ";
    struct Case {
        const char* name;
        // Prepares the files at host.path; returns the registry to use.
        std::function<InstallationFinder(CleaningRunTest&)> arrange;
        Events events;
        // The safety copy existed when the run's red line came: before the
        // rollback, or no rollback at all with a leftover in its place.
        bool safetyCopyAtRedLine;
        bool databaseAfter;  // the database file exists afterwards (identical when it existed before)
        bool fdkAfter;
    };
    const auto database = [](CleaningRunTest& t) {
        CreateFirebirdDatabase(t.host.path, OldAndNewRows);
        return PlatformInstallationFinder();
    };
    const Events backInPlace = {red + "Оригинальный файл БД возвращён на место:", red + "{db}"};
    const auto databaseAnd = [database](const InstallationFinder& registry) {
        return [database, registry](CleaningRunTest& t) {
            database(t);
            return registry;
        };
    };
    const Case cases[] = {
        {"copy failed: no database file",
         [](CleaningRunTest&) { return PlatformInstallationFinder(); },
         {Busy, "clear", Saving, Normal, red + "Неудача...", red + "Причина: файл или папка не найдены."},
         false,
         false,
         false},
        {"copy failed: a .bak leftover that cannot be deleted",
         [database](CleaningRunTest& t) {
             fs::create_directories(t.Bak() + "/keep");
             return database(t);
         },
         {Busy, "clear", Saving, Normal, red + "Неудача...", red + "Причина: файл {bak} уже существует."},
         true,
         true,
         false},
        {"open failed: not a database",
         [](CleaningRunTest& t) {
             WriteFileBytes(t.host.path, std::string(16384, 'q'));
             return PlatformInstallationFinder();
         },
         Join(Copied, {red + "An exception occured during open database.", Normal, red + "Ошибка открытия файла БД!"}),
         true, true, false},
        {"delete failed: table log missing",
         [](CleaningRunTest& t) {
             CreateFirebirdDatabase(t.host.path, "CREATE TABLE ERRORS_LOG (id INTEGER, ERR_END TIMESTAMP);\n");
             return PlatformInstallationFinder();
         },
         Join(Join(Copied,
                   {Deleting, red + "An exception occured during delete data before date", Normal, red + "Неудача!"}),
              backInPlace),
         true, true, false},
        {"delete failed after log rows were deleted and committed",
         [](CleaningRunTest& t) {
             CreateFirebirdDatabase(t.host.path,
                                    "CREATE TABLE log (id INTEGER, log_time TIMESTAMP);\n"
                                    "INSERT INTO log VALUES (1, '1990-01-01 00:00:00');\n");
             return PlatformInstallationFinder();
         },
         Join(Join(Copied,
                   {Deleting, red + "An exception occured during delete data before date", Normal, red + "Неудача!"}),
              backInPlace),
         true, true, false},
        {"close failed",
         [database](CleaningRunTest& t) {
             t.clientLibraries = {FAULTY_FBCLIENT_LIBRARY};
             t.detachFault = std::make_unique<DetachFault>(FAULTY_FBCLIENT_LIBRARY);
             return database(t);
         },
         Join(Join(CopiedAndCleaned, {red + "An exception occured during close the database.", Normal,
                                      red + "Ошибка закрытия файла БД!"}),
              backInPlace),
         true, true, false},
        // The preflight found gbak; by the compaction the registry or gbak
        // has changed, and the compaction's own line stands.
        {"key gone after the preflight",
         databaseAnd(FoundThen(PlatformInstallationFinder(), FakeRegistryFactory(false, true, "/usr/"))),
         Join(Join(CopiedAndCleaned,
                   {Normal, red + "Ключ Software\\Firebird Project\\Firebird Server\\Instances не найден!"}),
              backInPlace),
         false, true, false},
        {"key no longer opens after the preflight",
         databaseAnd(FoundThen(PlatformInstallationFinder(), FakeRegistryFactory(true, false, "/usr/"))),
         Join(Join(CopiedAndCleaned, {Normal, red + "Не могу открыть ключ реестра!"}), backInPlace), false, true,
         false},
        {"gbak gone after the preflight",
         [database](CleaningRunTest& t) {
             database(t);
             fs::create_directories(t.dir.File("empty-firebird"));
             return FoundThen(PlatformInstallationFinder(),
                              FakeRegistryFactory(true, true, t.dir.File("empty-firebird") + "/"));
         },
         Join(Join(CopiedAndCleaned, {Normal, red + "Отсутствует файл gbak.exe!"}), backInPlace), false, true, false},
        {"backup failed",
         [database](CleaningRunTest& t) {
             database(t);
             return t.StandInGbak("echo partial > \"$4\"; exit 1");
         },
         Join(Join(CopiedAndCleaned, {BackingUp, Normal, red + "Не удалось произвести бэкап (*.fdb -> *.fdk)!"}),
              backInPlace),
         false, true, false},
        {"restore failed after the database file was deleted",
         [database](CleaningRunTest& t) {
             database(t);
             // The restore's database is the argument before "-user",
             // whatever switches come first. A database still in place
             // means the stage skipped the deletion: the stand-in then
             // "restores" nothing and reports success, and the row fails.
             return t.StandInGbak(
                 "if [ \"$1\" = -b ]; then cp \"$3\" \"$4\"; exit 0; fi\n"
                 "while [ \"$1\" != -user ]; do database=$1; shift; done\n"
                 "[ -e \"$database\" ] && exit 0\necho broken > \"$database\"; exit 2");
         },
         Join(Join(CopiedAndCleaned,
                   {BackingUp, Ok, Restoring, Normal, red + "Не удалось восстановить (*.fdk -> *.fdb)!"}),
              backInPlace),
         false, true, false},
        // gbak exits 0 in both: what it restored is not what was backed up.
        {"the restore left the indices inactive",
         [](CleaningRunTest& t) {
             CreateFirebirdDatabase(t.host.path, std::string(QuenorLogTables) +
                                                     "CREATE INDEX log_time_index ON log (log_time);\n" +
                                                     QuenorOldAndNewRows);
             return t.StandInGbak(
                 "if [ \"$1\" = -c ]; then shift; exec /usr/bin/gbak -c -i \"$@\"; fi\n"
                 "exec /usr/bin/gbak \"$@\"");
         },
         Join(Join(CopiedAndCleaned,
                   {BackingUp, Ok, Restoring, Normal, red + "Не удалось восстановить (*.fdk -> *.fdb)!"}),
              backInPlace),
         false, true, false},
        {"the restore holds fewer log rows than the database did",
         [database](CleaningRunTest& t) {
             database(t);
             return t.StandInGbak(RestoreThen("echo 'DELETE FROM ERRORS_LOG; COMMIT;' | /usr/bin/isql-fb -q -user " +
                                              UserName + " -password " + Password + " \"$database\""));
         },
         Join(Join(CopiedAndCleaned,
                   {BackingUp, Ok, Restoring, Normal, red + "Не удалось восстановить (*.fdk -> *.fdb)!"}),
              backInPlace),
         false, true, false},
        {"the restore turned forced writes off",
         [database](CleaningRunTest& t) {
             database(t);
             return t.StandInGbak(RestoreThen("/usr/bin/gfix -write async -user " + UserName + " -password " +
                                              Password + " \"$database\""));
         },
         Join(Join(CopiedAndCleaned,
                   {BackingUp, Ok, Restoring, Normal, red + "Не удалось восстановить (*.fdk -> *.fdb)!"}),
              backInPlace),
         false, true, false},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        host = RecordingHost{};
        host.path = caseDir.File("MAIN.fdb");
        safetyCopyAtRedLine.clear();
        RecordSafetyCopyAtRedLines();
        host.correction = true;
        DBFileName = host.path;
        clientLibraries = platform::FirebirdClientLibraryNames();
        detachFault.reset();
        InstallationFinder registry = c.arrange(*this);
        const bool existed = Present(host.path);
        // Leftovers are deleted only after the engine has opened the file,
        // which rewrites its header: what it holds is compared.
        const std::string before = existed && fs::is_regular_file(host.path) ? Fingerprint(*files, host.path) : "";

        Run(registry);

        Events expected = c.events;
        for (std::string& event : expected) {
            if (const auto at = event.find("{bak}"); at != std::string::npos)
                event.replace(at, 5, Bak());
            if (const auto at = event.find("{db}"); at != std::string::npos)
                event.replace(at, 4, host.path);
        }
        EXPECT_EQ(host.events, expected);
        // The run's own red line is the last one before the lines that say
        // the original is back.
        std::size_t runLine = 0;
        for (const std::string& event : expected) {
            if (event == backInPlace.front())
                break;
            runLine += event.rfind(red, 0) == 0 ? 1 : 0;
        }
        ASSERT_GE(safetyCopyAtRedLine.size(), runLine);
        ASSERT_GT(runLine, 0u);
        EXPECT_EQ(safetyCopyAtRedLine[runLine - 1], c.safetyCopyAtRedLine);
        EXPECT_TRUE(host.correction) << "a failed run leaves the correction box alone";
        EXPECT_EQ(Present(host.path), c.databaseAfter);
        if (existed) {
            EXPECT_EQ(Fingerprint(*files, host.path), before) << "every page as before the run";
        }
        EXPECT_EQ(Present(Fdk()), c.fdkAfter);
        if (fs::is_directory(Bak())) {
            EXPECT_TRUE(Present(Bak() + "/keep")) << "the undeletable leftover stays as it was";
        } else {
            EXPECT_FALSE(Present(Bak())) << "the safety copy went back into place";
        }
    }
}

// A small file system of its own, full once the database is on it, or
// nothing where this process may not mount one.
class NearlyFullFolder {
public:
    NearlyFullFolder(const std::string& path, std::uintmax_t room) : path_(path)
    {
        fs::create_directories(path);
        const std::string options = "size=" + std::to_string(room) + ",mode=0755";
        mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~NearlyFullFolder()
    {
        if (mounted_)
            umount(path_.c_str());
    }
    NearlyFullFolder(const NearlyFullFolder&) = delete;
    NearlyFullFolder& operator=(const NearlyFullFolder&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

TEST_F(CleaningRunTest, ARefusedCopySaysWhyAndTouchesNothing)
{
    const std::string red = "red ";
    struct Case {
        const char* name;
        // Prepares the database path in the folder; returns whatever must
        // live through the run, or nullptr when this machine cannot make the
        // cause.
        std::function<std::shared_ptr<void>(CleaningRunTest&, const TempDir&)> arrange;
        std::string cause;
        bool asUnprivilegedUser;
    };
    const Case cases[] = {
        {"held by another process",
         [](CleaningRunTest& t, const TempDir&) {
             CreateFirebirdDatabase(t.host.path, OldAndNewRows);
             return std::shared_ptr<void>(std::make_shared<HeldFile>(t.host.path, LOCK_SH));
         },
         "Причина: файл занят другим процессом.", false},
        {"not found", [](CleaningRunTest&, const TempDir&) { return std::make_shared<int>(); },
         "Причина: файл или папка не найдены.", false},
        {"no access",
         [](CleaningRunTest& t, const TempDir& d) {
             CreateFirebirdDatabase(t.host.path, OldAndNewRows);
             fs::permissions(t.host.path, fs::perms(0600));
             fs::permissions(d.Path(), fs::perms(0777));
             return std::make_shared<int>();
         },
         "Причина: нет доступа.", true},
        {"disk full",
         [](CleaningRunTest& t, const TempDir& d) -> std::shared_ptr<void> {
             const std::string made = d.File("made.fdb");
             CreateFirebirdDatabase(made, OldAndNewRows);
             const std::uintmax_t size = fs::file_size(made);
             auto folder = std::make_shared<NearlyFullFolder>(d.File("small"), size + std::uintmax_t{64} * 1024);
             if (!folder->Mounted())
                 return nullptr;
             t.host.path = d.File("small/MAIN.fdb");
             fs::copy_file(made, t.host.path);
             t.files = std::make_unique<RoomTakenLater>();
             return folder;
         },
         "Причина: недостаточно места на диске.", false},
    };
    std::string notRun;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        host = RecordingHost{};
        host.path = caseDir.File("MAIN.fdb");
        files = platform::CreateFileSystem();
        const std::shared_ptr<void> keep = c.arrange(*this, caseDir);
        if (!keep) {
            notRun += std::string(notRun.empty() ? "" : ", ") + c.name;
            continue;
        }
        DBFileName = host.path;
        const bool existed = Present(host.path);
        const std::string before = existed ? ReadFileBytes(host.path) : "";
        const Events expected = {Busy, "clear", Saving, Normal, red + "Неудача...", red + c.cause};

        if (c.asUnprivilegedUser) {
            EXPECT_TRUE(AsUnprivilegedUser([&] {
                Run();
                return host.events == expected;
            }));
        } else {
            Run();
            EXPECT_EQ(host.events, expected);
        }
        EXPECT_EQ(Present(host.path), existed);
        if (existed) {
            EXPECT_TRUE(ReadFileBytes(host.path) == before);
        }
        EXPECT_FALSE(Present(Bak())) << "no partial copy";
        EXPECT_FALSE(Present(JournalName(host.path))) << "no journal left";
    }
    // Shown as skipped, so that a row this machine could not run is seen.
    if (!notRun.empty())
        GTEST_SKIP() << "this machine cannot make the cause of: " << notRun;
}

TEST_F(CleaningRunTest, AGbakThatRunsOutOfRoomSaysTheDiskIsFull)
{
    const std::string red = "red ";
    const struct {
        const char* name;
        bool skip;
        const char* gbakScript;  // nullptr: the real gbak
        Events tail;             // after the copy's lines
    } cases[] = {
        // Room for the database and its copy, not for the backup; nothing
        // has changed the database yet.
        {"the real gbak's backup",
         true,
         nullptr,
         {BackingUp, Normal, red + "Не удалось произвести бэкап (*.fdb -> *.fdk)!",
          red + "Причина: недостаточно места на диске."}},
        // What gbak 3 prints when the restored file cannot grow.
        {"a restore in gbak's words",
         false,
         "if [ \"$1\" = -b ]; then exec /usr/bin/gbak \"$@\"; fi\n"
         "echo 'gbak: ERROR:I/O error during \"write\" operation for file' >&2\n"
         "echo 'gbak: ERROR:    No space left on device' >&2; exit 1",
         {Deleting, Ok, BackingUp, Ok, Restoring, Normal, red + "Не удалось восстановить (*.fdk -> *.fdb)!",
          red + "Причина: недостаточно места на диске.",
          red + "Оригинальный файл БД возвращён на место:", red + "{db}"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        const std::string made = caseDir.File("made.fdb");
        CreateFirebirdDatabase(made, OldAndNewRows + ManyRows);
        const std::uintmax_t size = fs::file_size(made);
        NearlyFullFolder folder(caseDir.File("small"), c.gbakScript ? 4 * size : 2 * size + 64 * 1024);
        ASSERT_TRUE(folder.Mounted()) << "tmpfs could not be mounted";
        host = RecordingHost{};
        host.path = caseDir.File("small/MAIN.fdb");
        host.skip = c.skip;
        DBFileName = host.path;
        fs::copy_file(made, host.path);
        files = std::make_unique<RoomTakenLater>();

        Run(c.gbakScript ? StandInGbak(c.gbakScript) : FakeRegistryFactory(true, true, "/usr/"));

        Events expected = Join(Copied, c.tail);
        for (std::string& event : expected) {
            if (const auto at = event.find("{db}"); at != std::string::npos)
                event.replace(at, 4, host.path);
        }
        EXPECT_EQ(host.events, expected);
        EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM log"), 20002) << "the original in place";
        EXPECT_FALSE(Present(Bak()));
        EXPECT_FALSE(Present(Fdk()));
    }
}

TEST_F(CleaningRunTest, ARunWithoutRoomForItsPeakIsRefusedBeforeAnythingChanges)
{
    TempDir caseDir;
    const std::string made = caseDir.File("made.fdb");
    CreateFirebirdDatabase(made, OldAndNewRows + ManyRows);
    const std::uint64_t size = fs::file_size(made);
    const std::uint64_t needed = RoomRuleBeyond(size);
    const struct {
        const char* name;
        std::uint64_t room;  // the file system's size, the database on it included
        bool refused;
    } cases[] = {
        {"room for the copy, not for the peak", 2 * size + 1024 * 1024, true},
        // A little over the estimate, for the journal's page and the
        // file system's own.
        {"just enough", size + needed + 64 * 1024, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NearlyFullFolder folder(caseDir.File("small"), c.room);
        ASSERT_TRUE(folder.Mounted()) << "tmpfs could not be mounted";
        host = RecordingHost{};
        host.path = caseDir.File("small/MAIN.fdb");
        DBFileName = host.path;
        fs::copy_file(made, host.path);
        const auto before = FolderBytes(caseDir.File("small"));

        Run();

        if (!c.refused) {
            EXPECT_EQ(host.events, SuccessRoad);
            continue;
        }
        ASSERT_EQ(host.events.size(), 6u);
        EXPECT_EQ(std::vector<std::string>(host.events.begin(), host.events.begin() + 3),
                  (Events{Busy, "clear", Normal}));
        const std::string figures =
            "red Недостаточно места на диске для очистки: нужно не меньше " + SizeAsRead(needed, true) + ", свободно ";
        EXPECT_EQ(host.events[3].substr(0, figures.size()), figures);
        std::uint64_t free = 0;
        ASSERT_TRUE(files->FreeSpace(caseDir.File("small/"), free));
        EXPECT_EQ(host.events[3], figures + SizeAsRead(free, false) + ".");
        EXPECT_EQ(host.events[4], "red Освободите место на диске или перенесите файл БД на диск, где места больше:");
        EXPECT_EQ(host.events[5], "red " + host.path);
        EXPECT_TRUE(FolderBytes(caseDir.File("small")) == before) << "the folder as it was, byte for byte";
    }
}

TEST_F(CleaningRunTest, NobodyElseAttachesFromTheBackupOnAndTheDatabaseIsOnlineAfterwards)
{
    const struct {
        const char* name;
        bool skip;
        const char* gbak;  // "": the real one
        RunOutcome outcome;
    } cases[] = {
        {"cleaned and compacted", false, "", RunOutcome::Done},
        {"the backup fails: the copy is put back", false, "exit 1", RunOutcome::RolledBack},
        {"compaction only, the backup fails: the original stays", true, "exit 1", RunOutcome::RolledBack},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        StartCaseWithDatabaseIn(caseDir);
        host.skip = c.skip;
        std::optional<bool> productAttachedDuringBackup;
        host.afterTrace = [&](TColor) {
            if (host.events.back() == BackingUp)
                productAttachedDuringBackup = ProductAttaches(host.path);
        };
        CleaningRun run(host, *files, *processes, *c.gbak == '\0' ? PlatformInstallationFinder() : StandInGbak(c.gbak),
                        clientLibraries);
        run.RunCleaning();
        EXPECT_EQ(run.Outcome(), c.outcome);
        EXPECT_EQ(productAttachedDuringBackup, false);
        EXPECT_TRUE(ProductAttaches(host.path));
    }
}

TEST_F(CleaningRunTest, APutBackRefusedWhileTheFileIsHeldSaysWhereTheOriginalIsAndTheNextRunPutsItBack)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows);
    const std::string before = ReadFileBytes(host.path);
    // A server that attaches the database once the old rows are deleted.
    std::unique_ptr<AttachedDatabase> server;
    int oks = 0;
    host.afterTrace = [&](TColor) {
        if (host.events.back() == Ok && ++oks == 2)
            server = std::make_unique<AttachedDatabase>(host.path);
    };

    Run(StandInGbak("exit 1"));

    // The backup does not begin while another attachment could commit rows
    // it would miss. The put-back waits for the server as long as it waits
    // for any, then gives up.
    EXPECT_EQ(host.events,
              Join(CopiedAndCleaned,
                   {Normal, "red Файл БД занят другой программой или закрыт для подключений: сжатие не начато.",
                    "blue Файл БД ещё занят другим процессом, ожидание до 10 с...",
                    "red Не удалось вернуть оригинальный файл БД на место: файл занят другим процессом.",
                    "red Оригинал сохранён в файле:", "red " + Bak()}));
    EXPECT_TRUE(ReadFileBytes(Bak()) == before) << "the original is where the line says";
    EXPECT_TRUE(Present(JournalName(host.path)));

    server.reset();
    host.afterTrace = nullptr;
    host.events.clear();
    Run();

    // The cleaned file the server had open is kept under a name of its own.
    ASSERT_EQ(host.events.size(), 8u);
    EXPECT_EQ(Events(host.events.begin(), host.events.begin() + 5),
              (Events{Busy, "clear", Normal, "red Предыдущая очистка этого файла БД была прервана!",
                      "red Файл, который был на месте БД, сохранён как:"}));
    const std::string kept = host.events[5].substr(4);
    EXPECT_EQ(kept.rfind(host.path + ".quenor-kept-", 0), 0u) << kept;
    EXPECT_EQ(Events(host.events.begin() + 6, host.events.end()),
              (Events{"red Оригинальный файл БД возвращён на место:", "red " + host.path}));
    EXPECT_TRUE(ReadFileBytes(host.path) == before);
    EXPECT_EQ(QueryInteger(kept, "SELECT COUNT(*) FROM log"), 1) << "the cleaned rows are kept";
    EXPECT_FALSE(Present(Bak()));
    EXPECT_FALSE(Present(JournalName(host.path)));
}

TEST_F(CleaningRunTest, LinksFoldersNamedFdbAndOfflineRestores)
{
    struct Case {
        const char* name;
        // Prepares host.path (and what it needs); returns the registry.
        std::function<InstallationFinder(CleaningRunTest&, const TempDir&)> arrange;
        Events events;
    };
    const Case cases[] = {
        {"a symbolic link is refused before anything changes",
         [](CleaningRunTest& t, const TempDir& d) {
             CreateFirebirdDatabase(d.File("real.fdb"), OldAndNewRows);
             fs::create_symlink(d.File("real.fdb"), t.host.path);
             return PlatformInstallationFinder();
         },
         {Busy, "clear", Normal,
          "red Файл БД является символической ссылкой! Выберите сам файл, на который она указывает."}},
        {"a folder named data.fdb keeps its name and the operator's data.bak",
         [](CleaningRunTest& t, const TempDir& d) {
             fs::create_directories(d.File("data.fdb"));
             fs::create_directories(d.File("data.bak"));
             WriteFileBytes(d.File("data.bak/MAIN.bak"), "the operator's own");
             t.host.path = d.File("data.fdb/MAIN.fdb");
             CreateFirebirdDatabase(t.host.path, OldAndNewRows);
             return PlatformInstallationFinder();
         },
         SuccessRoad},
        {"a restore that exits 0 but leaves the database shut down",
         [](CleaningRunTest& t, const TempDir&) {
             CreateFirebirdDatabase(t.host.path, OldAndNewRows);
             return t.StandInGbak(
                 "if [ \"$1\" = -b ]; then exec /usr/bin/gbak \"$@\"; fi\n"
                 "/usr/bin/gbak \"$@\" || exit $?\n"
                 "gfix -shut multi -force 0 \"$3\" -user SYSDBA -pass plumtiger >/dev/null 2>&1\n"
                 "exit 0");
         },
         Join(CopiedAndCleaned, {BackingUp, Ok, Restoring, Normal, "red Не удалось восстановить (*.fdk -> *.fdb)!",
                                 "red Оригинальный файл БД возвращён на место:", "red {db}"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        host = RecordingHost{};
        host.path = caseDir.File("MAIN.fdb");
        InstallationFinder registry = c.arrange(*this, caseDir);
        DBFileName = host.path;
        const std::string before = ReadFileBytes(host.path);

        Run(registry);

        Events expected = c.events;
        for (std::string& event : expected) {
            if (const auto at = event.find("{db}"); at != std::string::npos)
                event.replace(at, 4, host.path);
        }
        EXPECT_EQ(host.events, expected);
        EXPECT_FALSE(Present(JournalName(host.path)));
        if (c.events == SuccessRoad) {
            EXPECT_EQ(ReadFileBytes(caseDir.File("data.bak/MAIN.bak")), "the operator's own");
            EXPECT_TRUE(ReadFileBytes(caseDir.File("data.fdb/MAIN.bak")) == before) << "the copy beside the database";
            EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM log"), 1);
        } else {
            EXPECT_TRUE(ReadFileBytes(host.path) == before) << "untouched, or put back byte for byte";
            EXPECT_FALSE(Present(Bak()));
        }
        if (fs::is_symlink(host.path)) {
            EXPECT_EQ(fs::read_symlink(host.path), caseDir.File("real.fdb")) << "the link stays a link";
        }
    }
}

TEST_F(CleaningRunTest, PathWithoutFdbNeverDeletesTheDatabase)
{
    const struct {
        const char* name;
        const char* cause;
    } cases[] = {
        {"main.gdb", "red Причина: в имени файла БД нет расширения .fdb."},
        {"", "red Причина: файл БД не выбран."},
    };
    for (const auto& [name, cause] : cases) {
        SCOPED_TRACE(name);
        host.events.clear();
        host.path = *name ? dir.File(name) : std::string();
        DBFileName = host.path;
        if (*name)
            CreateFirebirdDatabase(host.path, QuenorLogTables);
        const std::string before = *name ? ReadFileBytes(host.path) : "";

        Run();

        EXPECT_EQ(host.events, (Events{Busy, "clear", Saving, Normal, "red Неудача...", cause}));
        EXPECT_FALSE(Present(JournalName(host.path))) << "nothing written beside it";
        if (*name) {
            EXPECT_EQ(ReadFileBytes(host.path), before);
        }
    }
}

TEST_F(CleaningRunTest, MissingDatabaseKeepsTheOnlyCopiesLeft)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows);
    Run();
    const std::string bak = ReadFileBytes(Bak());
    const std::string fdk = ReadFileBytes(Fdk());
    fs::remove(host.path);
    host.events.clear();

    Run();

    EXPECT_EQ(host.events,
              (Events{Busy, "clear", Saving, Normal, "red Неудача...", "red Причина: файл или папка не найдены."}));
    EXPECT_EQ(ReadFileBytes(Bak()), bak);
    EXPECT_EQ(ReadFileBytes(Fdk()), fdk);
}

TEST_F(CleaningRunTest, RegistryValueOfTheWrongKindEndsTheRunBeforeTheCopyWithTheCursorRestored)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows);
    CleaningRun run(host, *files, *processes, FakeRegistryFactory(true, true, "/usr/", true));

    try {
        run.RunCleaning();
        ADD_FAILURE() << "the registry error must reach the window";
    } catch (const platform::RegistryError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'DefaultInstance'");
    }

    EXPECT_EQ(host.events, (Events{Busy, "clear", Normal}));
    EXPECT_FALSE(run.Running());
    EXPECT_FALSE(Present(Bak()));
    EXPECT_FALSE(Present(JournalName(host.path)));
    EXPECT_EQ(QueryInteger(host.path, "SELECT COUNT(*) FROM log"), 2) << "nothing deleted";
}

// Without the tool that compacts, a run would copy and delete only to put
// everything back: it is refused while nothing has changed, saying where it
// looked.
TEST_F(CleaningRunTest, NoFirebirdToolsIsRefusedBeforeTheCopyNamingWhereItLooked)
{
    const std::string red = "red ";
    fs::create_directories(dir.File("empty-firebird"));
    const std::string empty = dir.File("empty-firebird");
    const struct {
        const char* name;
        InstallationFinder finder;
        std::optional<std::string> firebirdVariable;
        Events lines;
    } cases[] = {
        {"key missing", FakeRegistryFactory(false, true, "/usr/"), std::nullopt,
         {red + "Ключ Software\\Firebird Project\\Firebird Server\\Instances не найден!"}},
        {"key not opened", FakeRegistryFactory(true, false, "/usr/"), std::nullopt,
         {red + "Не могу открыть ключ реестра!"}},
        {"no gbak in the installation", FakeRegistryFactory(true, true, empty + "/"), std::nullopt,
         {red + "Отсутствует файл gbak.exe!", red + "Файл gbak искали здесь:", red + empty + "/bin/gbak"}},
        {"no registry, FIREBIRD names a folder without gbak", PlatformInstallationFinder(), empty,
         {red +
              "Не найдена программа gbak из установки Firebird: установите Firebird или укажите его папку в "
              "переменной FIREBIRD.",
          red + "Файл gbak искали здесь:", red + empty + "/bin/gbak"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        StartCaseWithDatabaseIn(caseDir);
        const std::string before = ReadFileBytes(host.path);
        std::optional<ScopedFirebirdVariable> variable;
        if (c.firebirdVariable)
            variable.emplace(*c.firebirdVariable);

        Run(c.finder);

        EXPECT_EQ(host.events, Join({Busy, "clear", Normal}, c.lines));
        EXPECT_EQ(ReadFileBytes(host.path), before) << "the database byte for byte as it was";
        EXPECT_EQ(fs::directory_iterator(caseDir.Path())->path(), host.path) << "nothing else in its folder";
        EXPECT_EQ(std::distance(fs::directory_iterator(caseDir.Path()), fs::directory_iterator()), 1);
    }
}

TEST_F(CleaningRunTest, ASecondRunStartedDuringARunDoesNothing)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows);
    CleaningRun run(host, *files, *processes, PlatformInstallationFinder());
    bool sawRunning = false;
    host.afterTrace = [&](TColor) {
        sawRunning = sawRunning || run.Running();
        run.RunCleaning();
    };

    run.RunCleaning();

    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(host.events, SuccessRoad);
    EXPECT_FALSE(run.Running());
}

TEST_F(CleaningRunTest, RestoredFileGetsThePermissionBitsOfTheOriginal)
{
    CreateFirebirdDatabase(host.path, OldAndNewRows);
    fs::permissions(host.path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    struct stat original {};
    ASSERT_EQ(stat(host.path.c_str(), &original), 0);

    Run();

    ASSERT_EQ(host.events, SuccessRoad);
    struct stat restored {};
    ASSERT_EQ(stat(host.path.c_str(), &restored), 0);
    EXPECT_EQ(restored.st_mode & 07777, original.st_mode & 07777);
    EXPECT_EQ(restored.st_uid, original.st_uid);
    EXPECT_EQ(restored.st_gid, original.st_gid);
}

}  // namespace
