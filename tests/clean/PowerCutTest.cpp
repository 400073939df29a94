// Runs cut off by a power failure at their riskiest moments: what a run had
// not flushed to the disk is lost, and the next runs must still find the
// rows.
//
// How the power is cut: the database lives on an ext4 file system in an
// image file on a loop device. Whatever ext4 has handed to its "disk" is in
// the image file; what is still only in the mounted file system's own page
// cache and buffers is not. A copy of the image taken at the cut point is
// therefore exactly what a disk would hold if the power failed there, and
// mounting that copy (ext4 replays its journal, as after a reboot) shows what
// the next run would find. Mounted with commit=600, ext4 does not commit its
// journal by itself during a test (it does every 5 s by default), so only the
// run's own flushes put metadata on the disk; noauto_da_alloc turns off
// ext4's flush of a file renamed over or truncated, which hides a missing
// fsync on ext4 alone. The kernel's flusher writes dirty data only after 30 s
// by default, longer than a row takes; anything it wrote sooner would be on a
// real disk as well, so the copy never shows a loss that a real power cut
// could not.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/clean/RunProcess.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/LoopFileSystem.h"
#include "tests/support/StandInFirebird.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

namespace fs = std::filesystem;

const std::string MountOptions = "commit=600,noauto_da_alloc";
constexpr int ImageMebibytes = 256;

// Enough rows, and an index, that gbak's restore writes many pages.
const std::string Rows30000 = std::string(QuenorLogTables) + QuenorOldAndNewRows +
                              "COMMIT;\nSET TERM ^;\n"
                              "EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < 30000) DO BEGIN "
                              "INSERT INTO log VALUES (:i + 10, '2001-03-01 10:00:00'); i = i + 1; END END^\n"
                              "SET TERM ;^\nCOMMIT;\nCREATE INDEX log_time_ix ON log (log_time, id);\n";

std::string RowsText(long long log, long long errors)
{
    return "log " + std::to_string(log) + ", ERRORS_LOG " + std::to_string(errors);
}

// The two log tables' row counts in `database`, or why it did not open.
std::string RowsIn(const std::string& database)
{
    if (!fs::exists(database))
        return "no file";
    try {
        return RowsText(QueryInteger(database, "SELECT COUNT(*) FROM log"),
                        QueryInteger(database, "SELECT COUNT(*) FROM ERRORS_LOG"));
    } catch (const std::exception& error) {
        std::string text = error.what();
        // isql's own words come last; the script before them says nothing.
        const std::size_t statement = text.find("Statement failed");
        return "does not open: " + text.substr(statement == std::string::npos ? 0 : statement, 300);
    }
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

// Whether the rows survived a run that traced `lines`: the database file
// holds the original or the cleaned rows, or the trace names a file that
// holds the original ones (a red line of its own, after a red line ending in
// ':').
testing::AssertionResult RowsSurvive(const std::vector<std::string>& lines, const std::string& database,
                                     const std::string& original, const std::string& cleaned)
{
    const std::string atDatabase = RowsIn(database);
    if (atDatabase == original || atDatabase == cleaned)
        return testing::AssertionSuccess();
    std::string named;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("red ", 0) != 0 || line.back() != ':' || lines[i + 1].rfind("red ", 0) != 0)
            continue;
        const std::string file = lines[i + 1].substr(4);
        const std::string rows = RowsIn(file);
        if (rows == original)
            return testing::AssertionSuccess();
        named += "\n" + file + ": " + rows;
    }
    return testing::AssertionFailure() << "original rows: " << original << "\nthe database " << database << ": "
                                       << atDatabase << (named.empty() ? "\nno file named in the trace" : named)
                                       << "\nthe run traced:\n"
                                       << Joined(lines);
}

bool Contains(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

class PowerCutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = LoopFileSystem::WhyUnavailable();
        if (!why.empty())
            GTEST_SKIP() << "needs an ext4 file system on a loop device: " << why;
    }
};

TEST_F(PowerCutTest, ACutCopyOfTheImageHoldsWhatWasFlushedAndNotWhatWasNot)
{
    // The flushed file first: its fsync commits the journal, which would
    // take along a file created before it.
    const struct {
        const char* name;
        bool flushed;
    } cases[] = {{"written and flushed", true}, {"written only", false}};
    TempDir dir;
    const std::string mountPoint = dir.File("disk");
    fs::create_directory(mountPoint);
    LoopFileSystem::MakeExt4Image(dir.File("disk.img"), ImageMebibytes);
    const std::string bytes(1 << 20, 'q');
    {
        LoopFileSystem disk(dir.File("disk.img"), mountPoint, MountOptions);
        for (const auto& c : cases) {
            const std::string file = mountPoint + "/" + c.name;
            WriteFileBytes(file, bytes);
            if (c.flushed) {
                for (const std::string& path : {file, mountPoint}) {
                    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
                    ASSERT_GE(fd, 0) << path;
                    EXPECT_EQ(fsync(fd), 0) << path;
                    close(fd);
                }
            }
        }
        disk.CopyImageTo(dir.File("cut.img"));
    }
    LoopFileSystem cut(dir.File("cut.img"), mountPoint, MountOptions);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = mountPoint + "/" + c.name;
        const std::string found = fs::exists(file) ? ReadFileBytes(file) : "";
        EXPECT_EQ(found == bytes, c.flushed);
    }
}

TEST_F(PowerCutTest, APowerCutAtAnyPointOfARunLeavesTheRowsToTheNextRuns)
{
    // The cut comes after the run traced a line containing `pauseAt`, or
    // once the stand-in gbak left its mark.
    struct Case {
        const char* name;
        const char* gbakScript;  // nullptr: the real gbak
        const char* pauseAt;     // nullptr: wait for gbak's mark
    };
    const Case cases[] = {
        {"after the safety copy", nullptr, "Удаление данных до выбранной даты..."},
        {"after the database file's deletion, before the restore", nullptr,
         "Восстановление из бэкапа файла БД (*.fdk -> *.fdb)..."},
        {"after the restore, before the run checked it",
         "if [ \"$1\" = -c ]; then /usr/bin/gbak \"$@\" || exit $?; : > \"$0.started\"; exec sleep 600; fi\n"
         "exec /usr/bin/gbak \"$@\"",
         nullptr},
        {"right after Done!", nullptr, "Done!"},
        {"during the put-back after a failed restore",
         "if [ \"$1\" = -c ]; then exit 1; fi\nexec /usr/bin/gbak \"$@\"",
         "Не удалось восстановить (*.fdk -> *.fdb)!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string mountPoint = dir.File("disk");
        fs::create_directory(mountPoint);
        const std::string image = dir.File("disk.img");
        const std::string cutImage = dir.File("cut.img");
        LoopFileSystem::MakeExt4Image(image, ImageMebibytes);
        std::optional<LoopFileSystem> disk;
        disk.emplace(image, mountPoint, MountOptions);

        const std::string database = mountPoint + "/MAIN.fdb";
        CreateFirebirdDatabase(database, Rows30000);
        const long long logRows = QueryInteger(database, "SELECT COUNT(*) FROM log");
        const long long errorRows = QueryInteger(database, "SELECT COUNT(*) FROM ERRORS_LOG");
        const std::string original = RowsText(logRows, errorRows);
        // One row of each table is older than the cut-off.
        const std::string cleaned = RowsText(logRows - 1, errorRows - 1);
        // The stand-in gbak and its mark stay off the disk that loses power.
        std::string firebird = "/usr";
        if (c.gbakScript)
            firebird = StandInFirebird(dir.File("firebird"), c.gbakScript);
        // The database as it was before the run is safe on the disk.
        disk->Sync();

        {
            RunProcess first({database, firebird, c.pauseAt ? c.pauseAt : "-"});
            if (c.pauseAt) {
                ASSERT_TRUE(first.WaitUntilPaused()) << "the run ended before the cut:\n" << Joined(first.Lines());
            } else {
                ASSERT_TRUE(WaitFor([&] { return fs::exists(firebird + "/bin/gbak.started"); }));
            }
            disk->CopyImageTo(cutImage);
            first.KillAll();
        }
        // The copy goes on the same loop device: a file's identity includes
        // the device number, which a reboot keeps.
        const std::string device = disk->Device();
        disk->Release();
        disk.reset();
        fs::remove(image);
        disk.emplace(cutImage, mountPoint, MountOptions, device);

        RunProcess second({database, "/usr", "-"});
        ASSERT_TRUE(second.Finish()) << Joined(second.Lines());
        EXPECT_TRUE(RowsSurvive(second.Lines(), database, original, cleaned)) << "after the next run";

        RunProcess third({database, "/usr", "-"});
        ASSERT_TRUE(third.Finish()) << Joined(third.Lines());
        EXPECT_TRUE(Contains(third.Lines(), "Done!")) << "a normal run after it:\n" << Joined(third.Lines());
        EXPECT_EQ(RowsIn(database), cleaned) << "the run after the next one cleaned the rows";
    }
}

}  // namespace
