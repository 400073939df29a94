#include "clean/CompactionStage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "tests/support/FakeRegistry.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdVariable.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/RecordingTrace.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Line = RecordingTrace::Line;
using GbakRun = std::vector<std::string>;

const Line BackupLine{"Создание бэкапа файла БД (*.fdb -> *.fdk)...", clBlue};
const Line RestoreLine{"Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...", clBlue};
const Line OkLine{"...Ok", clGreen};

// How the registry answers. No real registry can refuse one access and grant
// another on demand, so the stage gets this one.
struct RegistryScript {
    bool existenceTestOpens = true;
    bool readOpens = true;
    std::optional<std::string> defaultInstance;  // nullopt: value missing
    bool wrongKind = false;
};

// What the stage did with its readers: every one made must be gone, with its
// key closed, by the time the stage returns.
struct RegistryTrail {
    int made = 0;
    int alive = 0;
    bool keyOpen = false;
};

class ScriptedRegistry final : public platform::RegistryReader {
public:
    ScriptedRegistry(const RegistryScript& script, RegistryTrail& trail) : script_(script), trail_(trail)
    {
        ++trail_.made;
        ++trail_.alive;
    }
    ~ScriptedRegistry() override
    {
        --trail_.alive;
        trail_.keyOpen = false;
    }
    ScriptedRegistry(const ScriptedRegistry&) = delete;
    ScriptedRegistry& operator=(const ScriptedRegistry&) = delete;

    bool KeyExists(const std::string& key) override
    {
        return script_.existenceTestOpens && key == platform::FirebirdInstancesKey;
    }
    bool OpenKey(const std::string& key) override
    {
        trail_.keyOpen = script_.readOpens && key == platform::FirebirdInstancesKey;
        return trail_.keyOpen;
    }
    std::string ReadString(const std::string& valueName) override
    {
        if (!trail_.keyOpen || valueName != platform::DefaultInstanceValue)
            return {};
        if (script_.wrongKind)
            throw platform::RegistryError("Invalid data type for '" + valueName + "'");
        return script_.defaultInstance.value_or("");
    }
    void CloseKey() override { trail_.keyOpen = false; }

private:
    const RegistryScript& script_;
    RegistryTrail& trail_;
};

// Changes the current folder and puts the old one back.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder) : old_(fs::current_path()) { fs::current_path(folder); }
    ~CurrentFolder() { fs::current_path(old_); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    fs::path old_;
};

// A Firebird installation whose bin/gbak is the scripted stand-in, and a
// database beside it, both in folders with spaces in their names.
class StandInSetup {
public:
    StandInSetup()
    {
        fs::create_directories(Installation() + "bin");
        fs::copy_file(STAND_IN_GBAK, Gbak());
        fs::create_directories(dir_.File("Base dir"));
        WriteFileBytes(database, "database bytes");
        registry.defaultInstance = Installation();
    }

    std::string Installation() const { return dir_.File("Firebird 3") + "/"; }
    std::string Gbak() const { return Installation() + "bin/gbak"; }
    const TempDir& Dir() const { return dir_; }
    // What the stand-in does on its first, second... run.
    void Plan(const std::string& lines, const std::string& gbak = {}) const
    {
        WriteFileBytes((gbak.empty() ? Gbak() : gbak) + ".plan", lines);
    }
    // The argv of every run of the stand-in at `gbak`, in order.
    static std::vector<GbakRun> Runs(const std::string& gbak)
    {
        std::vector<GbakRun> runs;
        if (!fs::exists(gbak + ".log"))
            return runs;
        std::istringstream log(ReadFileBytes(gbak + ".log"));
        for (std::string record; std::getline(log, record);) {
            GbakRun run;
            std::istringstream arguments(record);
            std::string commandLine;  // the arguments again, joined: no use here
            std::getline(arguments, commandLine, '\0');
            for (std::string argument; std::getline(arguments, argument, '\0');)
                run.push_back(argument);
            runs.push_back(run);
        }
        return runs;
    }
    GbakRun Backup(const std::string& gbak) const
    {
        return {gbak, "-b", "-g", database, fdk, "-user", "SYSDBA", "-pass", "plumtiger"};
    }
    GbakRun Restore(const std::string& gbak) const
    {
        return {gbak, "-c", fdk, database, "-user", "SYSDBA", "-pass", "plumtiger"};
    }

    // The scripted key in the program's own registry view; none in the other.
    InstallationFinder Factory()
    {
        return [this] {
            return platform::FindInstallationInRegistry(
                [this](platform::ProgramBits view) -> std::unique_ptr<platform::RegistryReader> {
                    if (view == platform::ThisProgramBits)
                        return std::make_unique<ScriptedRegistry>(registry, trail);
                    return std::make_unique<FakeRegistry>(FakeRegistrySetup::Absent());
                },
                platform::ThisProgramBits);
        };
    }

private:
    TempDir dir_;

public:
    const std::string database = dir_.File("Base dir") + "/MAIN.fdb";
    const std::string fdk = dir_.File("Base dir") + "/MAIN.fdk";
    RegistryScript registry;
    RegistryTrail trail;
    std::optional<CurrentFolder> folder;
    std::string gbakRun;  // where the stage should find the tool, when not Gbak()
    bool refuseChange = false;  // the caller says no before the database is deleted
};

enum class DatabaseAfter { Untouched, Deleted, Rebuilt };

TEST(CompactionStage, EveryOutcomeTracesItsLinesAndLeavesItsFiles)
{
    const struct {
        const char* name;
        std::function<void(StandInSetup&)> arrange;
        CompactResult result;
        std::vector<Line> lines;
        DatabaseAfter database;
        bool fdkLeft;
        int gbakRuns;  // how many runs of the stand-in started
    } cases[] = {
        {"key missing", [](StandInSetup& s) { s.registry.existenceTestOpens = s.registry.readOpens = false; },
         cpKeyMissing, {}, DatabaseAfter::Untouched, false, 0},
        {"key refuses the existence-test access, though KEY_READ would open",
         [](StandInSetup& s) { s.registry.existenceTestOpens = false; }, cpKeyMissing, {}, DatabaseAfter::Untouched,
         false, 0},
        {"key refuses KEY_READ", [](StandInSetup& s) { s.registry.readOpens = false; }, cpKeyNotOpened, {},
         DatabaseAfter::Untouched, false, 0},
        {"no gbak in the installation", [](StandInSetup& s) { fs::remove(s.Gbak()); }, cpGbakMissing, {},
         DatabaseAfter::Untouched, false, 0},
        {"value without its closing separator is joined with one",
         [](StandInSetup& s) { s.registry.defaultInstance = s.Dir().File("Firebird 3"); }, cpDone,
         {BackupLine, OkLine, RestoreLine, OkLine}, DatabaseAfter::Rebuilt, true, 2},
        {"value missing and no bin/gbak in the current folder",
         [](StandInSetup& s) {
             s.registry.defaultInstance.reset();
             s.folder.emplace(s.Dir().Path());
         },
         cpGbakMissing, {}, DatabaseAfter::Untouched, false, 0},
        {"value missing: bin/gbak in the current folder is used",
         [](StandInSetup& s) {
             s.registry.defaultInstance.reset();
             s.folder.emplace(s.Installation());
             s.gbakRun = "bin/gbak";
         },
         cpDone, {BackupLine, OkLine, RestoreLine, OkLine}, DatabaseAfter::Rebuilt, true, 2},
        {"a folder in gbak's place",
         [](StandInSetup& s) {
             fs::remove(s.Gbak());
             fs::create_directory(s.Gbak());
         },
         cpGbakMissing, {}, DatabaseAfter::Untouched, false, 0},
        {"a link in gbak's place counts, even one to a folder",
         [](StandInSetup& s) {
             fs::remove(s.Gbak());
             fs::create_directory(s.Dir().File("folder"));
             fs::create_symlink(s.Dir().File("folder"), s.Gbak());
         },
         cpBackupFailed, {BackupLine}, DatabaseAfter::Untouched, true, 0},
        {"backup exits 1", [](StandInSetup& s) { s.Plan("exit 1\n"); }, cpBackupFailed, {BackupLine},
         DatabaseAfter::Untouched, true, 1},
        {"backup exits 255", [](StandInSetup& s) { s.Plan("exit 255\n"); }, cpBackupFailed, {BackupLine},
         DatabaseAfter::Untouched, true, 1},
        {"backup killed by a signal", [](StandInSetup& s) { s.Plan("signal 9\n"); }, cpBackupFailed, {BackupLine},
         DatabaseAfter::Untouched, true, 1},
        {"backup cannot start", [](StandInSetup& s) { fs::permissions(s.Gbak(), fs::perms(0644)); },
         cpBackupFailed, {BackupLine}, DatabaseAfter::Untouched, true, 0},
        {"the caller refuses the change: the database stays", [](StandInSetup& s) { s.refuseChange = true; },
         cpBackupFailed, {BackupLine, OkLine}, DatabaseAfter::Untouched, true, 1},
        {"restore fails after the database was deleted", [](StandInSetup& s) { s.Plan("ok\nexit 1\n"); },
         cpRestoreFailed, {BackupLine, OkLine, RestoreLine}, DatabaseAfter::Deleted, true, 2},
        {"restore cannot start", [](StandInSetup& s) { s.Plan("ok-vanish\n"); }, cpRestoreFailed,
         {BackupLine, OkLine, RestoreLine}, DatabaseAfter::Deleted, true, 1},
        {"success", [](StandInSetup&) {}, cpDone, {BackupLine, OkLine, RestoreLine, OkLine}, DatabaseAfter::Rebuilt,
         true, 2},
    };
    for (const auto& c : cases) {
        StandInSetup setup;
        c.arrange(setup);
        RecordingTrace trace;
        const auto files = platform::CreateFileSystem();
        const auto processes = platform::CreateProcessRunner();
        CompactionStage stage(trace, *files, *processes, setup.Factory(), nullptr, {},
                              [&setup] { return !setup.refuseChange; });
        int asked = 0;

        const CompactResult result = stage.CompactDatabase(setup.database, setup.fdk, [&] {
            ++asked;
            return false;
        });

        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(trace.lines, c.lines) << c.name;
        EXPECT_EQ(setup.trail.made, 1) << c.name;
        EXPECT_EQ(setup.trail.alive, 0) << c.name << ": registry reader not released";
        EXPECT_FALSE(setup.trail.keyOpen) << c.name;
        EXPECT_EQ(asked, c.result >= cpRestoreFailed ? 1 : 0) << c.name;
        switch (c.database) {
        case DatabaseAfter::Untouched:
        case DatabaseAfter::Rebuilt:  // the stand-in restores the backed-up bytes
            EXPECT_TRUE(fs::exists(setup.database) && ReadFileBytes(setup.database) == "database bytes") << c.name;
            break;
        case DatabaseAfter::Deleted:
            EXPECT_FALSE(fs::exists(setup.database)) << c.name;
            break;
        }
        EXPECT_EQ(fs::exists(setup.fdk), c.fdkLeft) << c.name;
        const std::string gbak = setup.gbakRun.empty() ? setup.Gbak() : setup.gbakRun;
        const std::vector<GbakRun> runs = StandInSetup::Runs(gbak);
        EXPECT_EQ(runs.size(), static_cast<std::size_t>(c.gbakRuns)) << c.name;
        if (runs.size() >= 1) {
            EXPECT_EQ(runs[0], setup.Backup(gbak)) << c.name;
        }
        if (runs.size() >= 2) {
            EXPECT_EQ(runs[1], setup.Restore(gbak)) << c.name;
        }
    }
}

// The operator may tick the correction box while the backup lines are being
// painted; the box is read when the restore is built, so that tick counts.
TEST(CompactionStage, CorrectionIsAskedOnceAfterTheBackup)
{
    StandInSetup setup;
    struct TickingTrace : RecordingTrace {
        bool ticked = false;
        void Trace(std::string text, TColor colour) override
        {
            ticked = ticked || (text == "...Ok" && colour == clGreen);
            RecordingTrace::Trace(std::move(text), colour);
        }
    } trace;
    const auto files = platform::CreateFileSystem();
    const auto processes = platform::CreateProcessRunner();
    CompactionStage stage(trace, *files, *processes, setup.Factory());
    int asked = 0;
    bool backupThere = false;
    bool databaseThere = true;

    const CompactResult result = stage.CompactDatabase(setup.database, setup.fdk, [&] {
        ++asked;
        backupThere = fs::exists(setup.fdk);
        databaseThere = fs::exists(setup.database);
        return trace.ticked;
    });

    EXPECT_EQ(result, cpDone);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(backupThere);
    EXPECT_FALSE(databaseThere) << "asked before the database file was deleted";
    const std::vector<GbakRun> runs = StandInSetup::Runs(setup.Gbak());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], setup.Backup(setup.Gbak()));
    EXPECT_EQ(runs[1], (GbakRun{setup.Gbak(), "-c", "-fix_fss_metadata", "win1251", setup.fdk, setup.database, "-user",
                            "SYSDBA", "-pass", "plumtiger"}));
}

// A value of another kind ends the stage with the registry's error: nothing
// traced, nothing touched, the reader released all the same.
TEST(CompactionStage, RegistryErrorPassesOutAndTheReaderIsReleased)
{
    StandInSetup setup;
    setup.registry.wrongKind = true;
    RecordingTrace trace;
    const auto files = platform::CreateFileSystem();
    const auto processes = platform::CreateProcessRunner();
    CompactionStage stage(trace, *files, *processes, setup.Factory());

    try {
        stage.CompactDatabase(setup.database, setup.fdk, [] { return false; });
        ADD_FAILURE() << "no RegistryError";
    } catch (const platform::RegistryError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'DefaultInstance'");
    }
    EXPECT_TRUE(trace.lines.empty());
    EXPECT_EQ(setup.trail.alive, 0);
    EXPECT_FALSE(setup.trail.keyOpen);
    EXPECT_EQ(ReadFileBytes(setup.database), "database bytes");
    EXPECT_FALSE(fs::exists(setup.fdk));
    EXPECT_TRUE(StandInSetup::Runs(setup.Gbak()).empty());
}

// Debian's own gbak, found through the platform's registry stand-in, backs up
// and restores a real database; the restored file holds the rows it held.
TEST(CompactionStage, CompactsARealDatabaseWithTheInstalledGbak)
{
    // Found the way it is on an operator's machine with nothing configured.
    ScopedFirebirdVariable nothingConfigured(std::nullopt);
    TempDir dir;
    fs::create_directories(dir.File("Base dir"));
    const std::string database = dir.File("Base dir") + "/MAIN.fdb";
    const std::string fdk = dir.File("Base dir") + "/MAIN.fdk";
    CreateFirebirdDatabase(database, std::string(QuenorLogTables) +
                                         "INSERT INTO log VALUES (1, '2019-05-01 10:00:00');\n"
                                         "INSERT INTO log VALUES (2, '2021-05-01 10:00:00');\n"
                                         "INSERT INTO log VALUES (3, '2023-05-01 10:00:00');\n"
                                         "INSERT INTO ERRORS_LOG VALUES (1, '2020-01-01 00:00:00');\n"
                                         "INSERT INTO ERRORS_LOG VALUES (2, '2024-01-01 00:00:00');\n");
    // A second name keeps the old file alive, so the rebuilt one cannot get
    // its inode number back.
    const std::string oldFile = dir.File("old.fdb");
    ASSERT_EQ(link(database.c_str(), oldFile.c_str()), 0);

    RecordingTrace trace;
    const auto files = platform::CreateFileSystem();
    const auto processes = platform::CreateProcessRunner();
    CompactionStage stage(trace, *files, *processes, PlatformInstallationFinder());
    int asked = 0;
    testing::internal::CaptureStderr();
    const CompactResult result = stage.CompactDatabase(database, fdk, [&] {
        ++asked;
        return true;
    });
    const std::string supportLog = testing::internal::GetCapturedStderr();

    ASSERT_EQ(result, cpDone);
    EXPECT_EQ(trace.lines, (std::vector<Line>{BackupLine, OkLine, RestoreLine, OkLine}));
    // Debian's packages put gbak in /usr/bin; the log says which one ran.
    EXPECT_EQ(supportLog, "quenor-cleaner: gbak: /usr/bin/gbak\n");
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(fs::is_regular_file(fdk)) << "the backup stays beside the database";
    struct stat before {};
    struct stat after {};
    ASSERT_EQ(stat(oldFile.c_str(), &before), 0);
    ASSERT_EQ(stat(database.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "the database file was not rebuilt";
    EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM log"), 3);
    EXPECT_EQ(QueryInteger(database, "SELECT SUM(id) FROM log"), 6);
    EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM ERRORS_LOG"), 2);
}

}  // namespace
