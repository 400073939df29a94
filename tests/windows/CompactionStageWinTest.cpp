// The compaction stage on Windows' own calls: Wine's registry names the
// installation, CreateProcessA starts the stand-in gbak.exe found there.
#include "clean/CompactionStage.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/support/RecordingTrace.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"

namespace {

using Lines = std::vector<RecordingTrace::Line>;

const RecordingTrace::Line BackingUp{"Создание бэкапа файла БД (*.fdb -> *.fdk)...", clBlue};
const RecordingTrace::Line Restoring{"Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...", clBlue};
const RecordingTrace::Line Ok{"...Ok", clGreen};
const std::string DatabaseBytes = std::string("pretend database\0\r\n\x1a", 20);

// Runs the current directory from `folder` until the object goes away: a
// missing "DefaultInstance" makes gbak's path relative to it.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& folder)
    {
        GetCurrentDirectoryA(MAX_PATH, previous_);
        if (!SetCurrentDirectoryA(folder.c_str()))
            throw std::runtime_error("cannot enter " + folder);
    }
    ~CurrentDirectory() { SetCurrentDirectoryA(previous_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    char previous_[MAX_PATH] = {};
};

// One stage run on a database file in `base` with real files, processes and
// registry.
struct StageRun {
    TempDir dir;
    std::string database = dir.Path() + "\\Base\\MAIN.fdb";
    std::string backup = dir.Path() + "\\Base\\MAIN.fdk";
    RecordingTrace trace;
    std::unique_ptr<platform::FileSystem> files = platform::CreateFileSystem();
    std::unique_ptr<platform::ProcessRunner> processes = platform::CreateProcessRunner();
    CompactionStage stage{trace, *files, *processes, PlatformInstallationFinder()};

    StageRun()
    {
        CreateDirectoryA((dir.Path() + "\\Base").c_str(), nullptr);
        WriteFileBytes(database, DatabaseBytes);
    }
    CompactResult Compact(bool correct = false)
    {
        return stage.CompactDatabase(database, backup, [correct] { return correct; });
    }
};

TEST(WinCompactionStage, FindsGbakThroughTheRegistryValueAsStored)
{
    const std::string everyRun = "ok";
    const struct {
        const char* name;
        bool keyPresent;
        // The value, given the stand-in's installation folder (with its
        // closing backslash); nullopt: no value.
        std::optional<StoredValue> (*value)(const std::string& installation);
        bool runFromInstallation;  // current directory: the installation
        CompactResult expected;
        StandInGbak::Layout layout = StandInGbak::Layout::Bin;
    } cases[] = {
        {"key absent", false, [](const std::string&) -> std::optional<StoredValue> { return std::nullopt; }, false,
         cpKeyMissing},
        {"string with closing backslash", true,
         [](const std::string& i) -> std::optional<StoredValue> { return StringValue(REG_SZ, i); }, false, cpDone},
        {"string without closing backslash: joined with one", true,
         [](const std::string& i) -> std::optional<StoredValue> {
             return StringValue(REG_SZ, i.substr(0, i.size() - 1));
         },
         false, cpDone},
        {"3.0 and later: gbak in the installation's root", true,
         [](const std::string& i) -> std::optional<StoredValue> { return StringValue(REG_SZ, i); }, false, cpDone,
         StandInGbak::Layout::Root},
        {"3.0 and later, without closing backslash", true,
         [](const std::string& i) -> std::optional<StoredValue> {
             return StringValue(REG_SZ, i.substr(0, i.size() - 1));
         },
         false, cpDone, StandInGbak::Layout::Root},
        {"value missing: only Bin\\gbak.exe is looked for in the current folder", true,
         [](const std::string&) -> std::optional<StoredValue> { return std::nullopt; }, true, cpGbakMissing,
         StandInGbak::Layout::Root},
        {"expandable string is not expanded", true,
         [](const std::string&) -> std::optional<StoredValue> {
             return StringValue(REG_EXPAND_SZ, "%QUENOR_TEST_FIREBIRD%\\");
         },
         false, cpGbakMissing},
        {"text after a NUL is ignored", true,
         [](const std::string& i) -> std::optional<StoredValue> {
             return StringValue(REG_SZ, i + std::string("\0C:\\elsewhere\\", 14));
         },
         false, cpDone},
        {"value missing: relative to the current folder", true,
         [](const std::string&) -> std::optional<StoredValue> { return std::nullopt; }, true, cpDone},
        {"value missing, no gbak in the current folder", true,
         [](const std::string&) -> std::optional<StoredValue> { return std::nullopt; }, false, cpGbakMissing},
        {"value of size 0", true,
         [](const std::string&) -> std::optional<StoredValue> { return StoredValue{REG_SZ, ""}; }, false,
         cpGbakMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StageRun run;
        StandInGbak gbak(run.dir.Path() + "\\Firebird", {everyRun}, c.layout);
        // Were the expandable value expanded, it would name the stand-in.
        SetEnvironmentVariableA("QUENOR_TEST_FIREBIRD", (run.dir.Path() + "\\Firebird").c_str());
        std::optional<TestInstancesKey> key;
        if (c.keyPresent)
            key.emplace(c.value(gbak.InstallationDirectory()));
        std::optional<CurrentDirectory> current;
        current.emplace(c.runFromInstallation ? run.dir.Path() + "\\Firebird" : run.dir.Path());

        EXPECT_EQ(run.Compact(), c.expected);
        const size_t runs = c.expected == cpDone ? 2 : 0;
        EXPECT_EQ(gbak.Calls().size(), runs);
        const Lines traced = c.expected == cpDone ? Lines{BackingUp, Ok, Restoring, Ok} : Lines{};
        EXPECT_EQ(run.trace.lines, traced);
        current.reset();
        SetEnvironmentVariableA("QUENOR_TEST_FIREBIRD", nullptr);
    }
}

TEST(WinCompactionStage, ValueOfAnotherKindRaisesAndReleasesTheKey)
{
    StageRun run;
    StandInGbak gbak(run.dir.Path() + "\\Firebird", {"ok"});
    TestInstancesKey key(StoredValue{REG_DWORD, std::string("\x01\0\0\0", 4)});
    // The runtime's first exception opens handles of its own, for good.
    try {
        throw std::runtime_error("first");
    } catch (const std::exception&) {
    }
    const int handlesBefore = OwnHandleCount();
    try {
        run.Compact();
        ADD_FAILURE() << "no error raised";
    } catch (const platform::RegistryError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'DefaultInstance'");
    }
    EXPECT_EQ(OwnHandleCount(), handlesBefore);
    EXPECT_EQ(Content(run.database), DatabaseBytes);
    EXPECT_TRUE(gbak.Calls().empty());
    EXPECT_TRUE(run.trace.lines.empty());
}

TEST(WinCompactionStage, ExitCodesDecideEachStepAndTheFilesLeft)
{
    const struct {
        const char* name;
        std::vector<std::string> script;
        CompactResult expected;
        Lines lines;
        std::optional<std::string> database, backup;  // afterwards; nullopt: absent
    } cases[] = {
        {"both succeed", {"ok", "ok"}, cpDone, {BackingUp, Ok, Restoring, Ok}, DatabaseBytes, DatabaseBytes},
        // The backup file is made, empty, before gbak runs, so that gbak
        // writes into a file with the database's access.
        {"backup exits 1", {"exit 1"}, cpBackupFailed, {BackingUp}, DatabaseBytes, ""},
        {"backup exits 255", {"exit 255"}, cpBackupFailed, {BackingUp}, DatabaseBytes, ""},
        {"backup exits with the top bit set", {"exit 0x80000001"}, cpBackupFailed, {BackingUp}, DatabaseBytes, ""},
        {"restore exits 1 after the file was deleted", {"ok", "exit 1"}, cpRestoreFailed, {BackingUp, Ok, Restoring},
         std::nullopt, DatabaseBytes},
        {"restore exits with the top bit set", {"ok", "exit 0x80000001"}, cpRestoreFailed,
         {BackingUp, Ok, Restoring}, std::nullopt, DatabaseBytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StageRun run;
        StandInGbak gbak(run.dir.Path() + "\\Firebird", c.script);
        TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));

        EXPECT_EQ(run.Compact(), c.expected);
        EXPECT_EQ(run.trace.lines, c.lines);
        EXPECT_EQ(Content(run.database), c.database);
        EXPECT_EQ(Content(run.backup), c.backup);
    }
}

TEST(WinCompactionStage, GbakThatCannotStartFailsTheBackup)
{
    StageRun run;
    CreateDirectoryA((run.dir.Path() + "\\Firebird").c_str(), nullptr);
    CreateDirectoryA((run.dir.Path() + "\\Firebird\\Bin").c_str(), nullptr);
    WriteFileBytes(run.dir.Path() + "\\Firebird\\Bin\\gbak.exe", "not a program");
    TestInstancesKey key(StringValue(REG_SZ, run.dir.Path() + "\\Firebird\\"));

    EXPECT_EQ(run.Compact(), cpBackupFailed);
    EXPECT_EQ(run.trace.lines, Lines{BackingUp});
    EXPECT_EQ(Content(run.database), DatabaseBytes);
}

TEST(WinCompactionStage, CommandLinesReachGbakByteForByteWithSpacesInPaths)
{
    StageRun run;
    const std::string base = run.dir.Path() + "\\My Base";
    CreateDirectoryA(base.c_str(), nullptr);
    run.database = base + "\\MAIN 1.fdb";
    run.backup = base + "\\MAIN 1.fdk";
    WriteFileBytes(run.database, DatabaseBytes);
    StandInGbak gbak(run.dir.Path() + "\\Firebird 3", {"ok"});
    TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));

    ASSERT_EQ(run.Compact(true), cpDone);
    const std::vector<StandInGbak::Call> calls = gbak.Calls();
    ASSERT_EQ(calls.size(), 2u);
    const std::string program = gbak.ProgramPath();
    EXPECT_EQ(calls[0].commandLine, "\"" + program + "\" -b -g \"" + run.database + "\" \"" + run.backup +
                                        "\" -user SYSDBA -pass plumtiger");
    EXPECT_EQ(calls[0].arguments, (std::vector<std::string>{program, "-b", "-g", run.database, run.backup, "-user",
                                                             "SYSDBA", "-pass", "plumtiger"}));
    EXPECT_EQ(calls[1].commandLine, "\"" + program + "\" -c -fix_fss_metadata win1251 \"" + run.backup + "\" \"" +
                                        run.database + "\" -user SYSDBA -pass plumtiger");
    EXPECT_EQ(calls[1].arguments,
              (std::vector<std::string>{program, "-c", "-fix_fss_metadata", "win1251", run.backup, run.database,
                                        "-user", "SYSDBA", "-pass", "plumtiger"}));
}

}  // namespace
