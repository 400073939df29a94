// Runs that die at any moment, and runs that race each other, on real
// databases: whatever happens, the next run leaves the original or the
// cleaned rows in the database file, and says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "tests/clean/RunProcess.h"
#include "tests/support/FakeRegistry.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/StandInFirebird.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

namespace fs = std::filesystem;

const std::string InterruptedLine = "red Предыдущая очистка этого файла БД была прервана!";
const std::string AnotherRunLine = "red Этот файл БД уже обрабатывается другим запуском программы!";
const std::string BackInPlaceLine = "red Оригинальный файл БД возвращён на место:";

// Whether `line` is followed at once by `next`.
bool ContainsInOrder(const std::vector<std::string>& lines, const std::string& line, const std::string& next)
{
    const auto at = std::find(lines.begin(), lines.end(), line);
    return at != lines.end() && at + 1 != lines.end() && *(at + 1) == next;
}

const std::string OldAndNewRows = std::string(QuenorLogTables) + QuenorOldAndNewRows;

// Enough rows that the real gbak takes a while to restore them.
const std::string ManyNewRows = "COMMIT;\nSET TERM ^;\n"
                                "EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < 100000) DO BEGIN "
                                "INSERT INTO log VALUES (:i + 10, '2001-03-01 10:00:00'); i = i + 1; END END^\n"
                                "SET TERM ;^\nCOMMIT;\nCREATE INDEX log_time_ix ON log (log_time, id);\n";

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The two log tables' row counts.
std::pair<long long, long long> Rows(const std::string& database)
{
    return {QueryInteger(database, "SELECT COUNT(*) FROM log"), QueryInteger(database, "SELECT COUNT(*) FROM ERRORS_LOG")};
}

class InterruptedRunTest : public ::testing::Test {
protected:
    // A Firebird folder whose bin/gbak is this shell script; "$0.started"
    // is the mark a script leaves when a test must wait for it.
    static std::string StandInFirebird(const TempDir& dir, const std::string& script)
    {
        return ::StandInFirebird(dir.File("firebird"), script);
    }
    static std::string StartedMark(const std::string& firebird) { return firebird + "/bin/gbak.started"; }
};

TEST_F(InterruptedRunTest, ARunKilledAtAnyPointLeavesTheNextRunTheOriginalOrTheCleanedRows)
{
    // The killed run's gbak, and when to kill: after the run traced a line
    // containing `pauseAt`, or once gbak left its mark (and, with
    // `databaseFileWritten`, the restore has begun writing the database).
    struct Case {
        const char* name;
        const char* gbakScript;  // nullptr: the real gbak
        const char* pauseAt;     // nullptr: wait for gbak's mark instead
        bool databaseFileWritten;
        bool manyRows;
        bool interrupted;  // the next run finds a dead run to finish
    };
    const Case cases[] = {
        {"killed at the safety copy", nullptr, "Сохранение", false, false, false},
        // The line comes before the statement runs: the database is the
        // original still, and the next run is a normal one.
        {"killed before the delete, the database attached", nullptr, "Удаление данных", false, false, false},
        {"killed with gbak in the backup",
         "if [ \"$1\" = -b ]; then echo partial > \"$4\"; : > \"$0.started\"; exec sleep 600; fi; exec /usr/bin/gbak \"$@\"",
         nullptr, false, false, true},
        {"killed after the database file was deleted, before the restore", nullptr, "Восстановление из бэкапа", false,
         false, true},
        {"killed with gbak in the restore, a partial file written",
         "if [ \"$1\" = -c ]; then echo partial > \"$3\"; : > \"$0.started\"; exec sleep 600; fi; exec /usr/bin/gbak \"$@\"",
         nullptr, false, false, true},
        {"killed with the real gbak in the restore",
         "if [ \"$1\" = -c ]; then : > \"$0.started\"; fi; exec /usr/bin/gbak \"$@\"", nullptr, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string database = dir.File("MAIN.fdb");
        CreateFirebirdDatabase(database, OldAndNewRows + (c.manyRows ? ManyNewRows : ""));
        const std::pair<long long, long long> original = Rows(database);
        const std::string firebird = c.gbakScript ? StandInFirebird(dir, c.gbakScript) : "/usr";

        {
            RunProcess first({database, firebird, c.pauseAt ? c.pauseAt : "-"});
            if (c.pauseAt) {
                ASSERT_TRUE(first.WaitUntilPaused());
            } else {
                ASSERT_TRUE(WaitFor([&] { return fs::exists(StartedMark(firebird)); }));
                if (c.databaseFileWritten) {
                    ASSERT_TRUE(WaitFor([&] { return fs::exists(database) && fs::file_size(database) > 0; }));
                }
            }
            first.KillAll();
        }

        RunProcess second({database, "/usr", "-"});
        ASSERT_TRUE(second.Finish());
        const std::vector<std::string>& lines = second.Lines();
        if (c.interrupted) {
            EXPECT_TRUE(Contains(lines, InterruptedLine));
            EXPECT_TRUE(ContainsInOrder(lines, BackInPlaceLine, "red " + database))
                << "the trace names the file with the rows";
            EXPECT_EQ(Rows(database), original) << "the original rows";
        } else {
            EXPECT_TRUE(Contains(lines, "Done!"));
            EXPECT_EQ(Rows(database), std::make_pair(original.first - 1, original.second - 1)) << "the cleaned rows";
        }
        EXPECT_FALSE(fs::exists(database + ".quenor-journal")) << "the next run starts afresh";

        RunProcess third({database, "/usr", "-"});
        ASSERT_TRUE(third.Finish());
        EXPECT_TRUE(Contains(third.Lines(), "Done!")) << "a normal run after it";
    }
}

TEST_F(InterruptedRunTest, ASecondRunOnTheSameFileRefusesBeforeItTouchesAnything)
{
    // The first run is held at each of its steps while the second one starts.
    const struct {
        const char* name;
        const char* pauseAt;  // nullptr: held inside gbak's backup
        bool skip;
    } cases[] = {
        {"at the copy", "Сохранение", false},
        {"at the delete", "Удаление данных", false},
        {"in gbak's backup", nullptr, true},
        {"at the restore", "Восстановление из бэкапа", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string database = dir.File("MAIN.fdb");
        CreateFirebirdDatabase(database, OldAndNewRows);
        // Waits for the test's word before it lets the real gbak back up.
        const std::string firebird = StandInFirebird(
            dir, "if [ \"$1\" = -b ]; then : > \"$0.started\"; while [ ! -e \"$0.go\" ]; do sleep 0.05; done; fi\n"
                 "exec /usr/bin/gbak \"$@\"");
        if (c.pauseAt)
            WriteFileBytes(firebird + "/bin/gbak.go", "");
        std::vector<std::string> arguments{database, firebird, c.pauseAt ? c.pauseAt : "-"};
        if (c.skip)
            arguments.push_back("skip");
        RunProcess first(arguments);
        if (c.pauseAt) {
            ASSERT_TRUE(first.WaitUntilPaused());
        } else {
            ASSERT_TRUE(WaitFor([&] { return fs::exists(StartedMark(firebird)); }));
        }
        const auto snapshot = [&] {
            std::vector<std::pair<std::string, std::uintmax_t>> files;
            for (const auto& entry : fs::directory_iterator(dir.Path()))
                files.emplace_back(entry.path().filename().string(), entry.is_regular_file() ? entry.file_size() : 0);
            std::sort(files.begin(), files.end());
            return files;
        };
        const auto before = snapshot();
        const auto bakBytes = [&] { return fs::exists(dir.File("MAIN.bak")) ? ReadFileBytes(dir.File("MAIN.bak")) : ""; };
        const std::string bakBefore = bakBytes();

        RecordingHost host;
        host.path = database;
        DBFileName = database;
        const auto files = platform::CreateFileSystem();
        const auto processes = platform::CreateProcessRunner();
        CleaningRun second(host, *files, *processes, FakeRegistryFactory(true, true, "/usr/"));
        second.RunCleaning();
        DBFileName.clear();

        EXPECT_EQ(host.events, (RecordingHost::Events{"cursor -11", "clear", "cursor 0", AnotherRunLine}));
        EXPECT_EQ(snapshot(), before) << "nothing of the first run deleted or added";
        EXPECT_TRUE(bakBytes() == bakBefore) << "the first run's safety copy untouched";

        WriteFileBytes(firebird + "/bin/gbak.go", "");
        ASSERT_TRUE(first.Finish());
        EXPECT_TRUE(Contains(first.Lines(), "Done!"));
        if (!c.skip) {
            EXPECT_EQ(Rows(database), std::make_pair(1LL, 1LL)) << "the first run cleaned the rows";
        }
    }
}

}  // namespace
