#include "clean/DatabaseStage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "clean/SharedStrings.h"
#include "tests/support/AttachedDatabase.h"
#include "tests/support/ClientFaults.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileLock.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/RecordingTrace.h"
#include "tests/support/TempDir.h"

namespace {

const RecordingTrace::Line OpenFailed{"An exception occured during open database.", clRed};
const RecordingTrace::Line DeleteFailed{"An exception occured during delete data before date", clRed};

struct Row {
    const char* stamp;  // a TIMESTAMP literal, or nullptr for NULL
    bool remains;
};

std::string InsertRows(const char* table, const std::vector<Row>& rows)
{
    std::string sql;
    int id = 0;
    for (const Row& row : rows) {
        const std::string stamp = row.stamp ? "'" + std::string(row.stamp) + "'" : "NULL";
        sql += "INSERT INTO " + std::string(table) + " VALUES (" + std::to_string(++id) + ", " + stamp + ");\n";
    }
    return sql;
}

// Ids of the rows expected to remain, as "1,3" for an IN list.
std::pair<long long, std::string> Remaining(const std::vector<Row>& rows)
{
    long long count = 0;
    std::string ids = "0";
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].remains) {
            ++count;
            ids += "," + std::to_string(i + 1);
        }
    }
    return {count, ids};
}

class DatabaseStageTest : public ::testing::Test {
protected:
    void TearDown() override { DBFileName.clear(); }

    std::string CreateDatabase(const std::string& sql)
    {
        std::string path = dir.File("QUENOR.fdb");
        CreateFirebirdDatabase(path, sql);
        return path;
    }

    TempDir dir;
    RecordingTrace trace;
};

TEST_F(DatabaseStageTest, DeletesRowsStampedStrictlyBeforeTheCutOffFromBothTables)
{
    const struct {
        const char* name;
        TDateTime cutOff;
        std::vector<Row> rows;
    } cases[] = {
        {"time of day in the cut-off",
         {2000, 1, 1, 14, 23, 5, 250},
         {{"1975-01-01 00:00:00", false},
          {"2000-01-01 14:23:04", false},
          {"2000-01-01 14:23:05", true},  // exactly at the cut-off
          {"2001-01-01 00:00:00", true},
          {nullptr, true}}},
        {"midnight cut-off keeps a row stamped at midnight",
         {2000, 1, 1, 0, 0, 0, 0},
         {{"1999-12-31 23:59:59", false}, {"2000-01-01 00:00:00", true}}},
        {"1975 is not read as 2075",
         {1975, 1, 1, 0, 0, 0, 0},
         {{"1974-12-31 00:00:00", false}, {"1975-06-01 00:00:00", true}, {"2026-01-01 00:00:00", true}}},
        {"day above twelve is read as the day",
         {2023, 2, 25, 0, 0, 0, 0},
         {{"2023-02-24 00:00:00", false}, {"2023-02-26 00:00:00", true}, {"2023-12-02 00:00:00", true}}},
        {"no old rows at all", {2000, 1, 1, 12, 0, 0, 0}, {{"2010-05-05 10:00:00", true}, {nullptr, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        DBFileName = caseDir.File("case.fdb");
        CreateFirebirdDatabase(
            DBFileName, std::string(QuenorLogTables) + InsertRows("log", c.rows) + InsertRows("ERRORS_LOG", c.rows));
        DatabaseStage stage(trace);
        ASSERT_TRUE(stage.OpenDatabase());
        ASSERT_TRUE(stage.DeleteBeforeDate(c.cutOff));
        ASSERT_TRUE(stage.CloseDatabase());

        const auto [count, ids] = Remaining(c.rows);
        for (const char* table : {"log", "ERRORS_LOG"}) {
            EXPECT_EQ(QueryInteger(DBFileName, std::string("SELECT COUNT(*) FROM ") + table), count) << table;
            EXPECT_EQ(
                QueryInteger(DBFileName, std::string("SELECT COUNT(*) FROM ") + table + " WHERE id IN (" + ids + ")"),
                count)
                << table;
        }
    }
    EXPECT_TRUE(trace.lines.empty());
}

// The operator sees one fixed red line whatever the cause; the cause itself,
// in Firebird's words where the client gives them, goes to standard error.
TEST_F(DatabaseStageTest, OpenFailuresTraceOneRedLineAndLeaveAnUnattachedConnection)
{
    const std::string database = CreateDatabase(QuenorLogTables);
    const std::string notADatabase = dir.File("text.fdb");
    WriteFileBytes(notADatabase, std::string(8192, 'x'));
    const std::string cause = "quenor-cleaner: open database: ";

    const struct {
        const char* name;
        std::string fileName;
        std::vector<std::string> libraries;
        bool libraryLoaded;
        std::vector<std::string> standardError;  // each appears in it, in this order
    } cases[] = {
        {"empty name makes no library call",
         "",
         platform::FirebirdClientLibraryNames(),
         false,
         {cause + "no database name\n"}},
        {"a file that is not a database",
         notADatabase,
         platform::FirebirdClientLibraryNames(),
         true,
         {cause + "isc_attach_database failed with status ", "\nfile " + notADatabase + " is not a valid database\n"}},
        {"a missing file",
         dir.File("missing.fdb"),
         platform::FirebirdClientLibraryNames(),
         true,
         {cause + "isc_attach_database failed with status ",
          "\nI/O error during \"open\" operation for file \"" + dir.File("missing.fdb") + "\"\n"}},
        {"client library missing",
         database,
         {dir.File("libfbclient.so.2"), "libquenor-absent.so"},
         false,
         {cause + "the Firebird client library cannot be loaded\n"}},
        {"entry points missing",
         database,
         {NO_FB_ENTRY_POINTS_LIBRARY},
         false,
         {cause + "the Firebird client library lacks isc_attach_database\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingTrace caseTrace;
        DatabaseStage stage(caseTrace, c.libraries);
        DBFileName = c.fileName;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(stage.OpenDatabase());
        const std::string standardError = testing::internal::GetCapturedStderr();
        EXPECT_EQ(caseTrace.lines, std::vector<RecordingTrace::Line>{OpenFailed});
        ASSERT_NE(stage.Connection().database, nullptr);
        EXPECT_FALSE(stage.Connection().database->Connected());
        EXPECT_EQ(stage.Connection().transaction, nullptr);
        EXPECT_EQ(stage.Connection().sql, nullptr);
        EXPECT_EQ(stage.ClientLibraryLoaded(), c.libraryLoaded);
        std::size_t from = 0;
        for (const std::string& part : c.standardError) {
            const std::size_t at = standardError.find(part, from);
            EXPECT_NE(at, std::string::npos) << "missing: " << part << "\nin: " << standardError;
            if (at != std::string::npos)
                from = at + part.size();
        }
    }
    EXPECT_FALSE(FileHeldByLock(database));
}

TEST_F(DatabaseStageTest, FailedDeleteStopsAtTheFailingTableAndTheNextOpenFreesTheFile)
{
    const std::vector<Row> rows = {{"1990-01-01 00:00:00", false}, {"2020-01-01 00:00:00", true}};
    const struct {
        const char* name;
        std::string tables;
        bool logCleaned;
        const char* errorsTable;  // nullptr: no ERRORS_LOG to count
    } cases[] = {
        {"table log missing leaves ERRORS_LOG untouched",
         "CREATE TABLE ERRORS_LOG (id INTEGER, ERR_END TIMESTAMP);\n" + InsertRows("ERRORS_LOG", rows), false,
         "ERRORS_LOG"},
        {"table ERRORS_LOG missing after log was cleaned",
         "CREATE TABLE log (id INTEGER, log_time TIMESTAMP);\n" + InsertRows("log", rows), true, nullptr},
        {"column ERR_END missing after log was cleaned",
         "CREATE TABLE log (id INTEGER, log_time TIMESTAMP);\nCREATE TABLE ERRORS_LOG (id INTEGER, ERR_BEGIN "
         "TIMESTAMP);\n" +
             InsertRows("log", rows) + InsertRows("ERRORS_LOG", rows),
         true, "ERRORS_LOG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        DBFileName = caseDir.File("case.fdb");
        CreateFirebirdDatabase(DBFileName, c.tables);
        RecordingTrace caseTrace;
        DatabaseStage stage(caseTrace);
        ASSERT_TRUE(stage.OpenDatabase());
        EXPECT_FALSE(stage.DeleteBeforeDate({2000, 1, 1, 0, 0, 0, 0}));
        EXPECT_EQ(caseTrace.lines, std::vector<RecordingTrace::Line>{DeleteFailed});
        EXPECT_TRUE(stage.Connection().database->Connected());
        EXPECT_TRUE(FileHeldByLock(DBFileName)) << "the failed delete leaves the file attached";

        ASSERT_TRUE(stage.OpenDatabase()) << "the second open must not trip over the leftovers";
        ASSERT_TRUE(stage.CloseDatabase());
        EXPECT_FALSE(FileHeldByLock(DBFileName));
        EXPECT_EQ(caseTrace.lines.size(), 1u);

        if (c.logCleaned) {
            EXPECT_EQ(QueryInteger(DBFileName, "SELECT COUNT(*) FROM log"), 1);
        }
        if (c.errorsTable) {
            EXPECT_EQ(QueryInteger(DBFileName, std::string("SELECT COUNT(*) FROM ") + c.errorsTable), 2);
        }
    }
}

TEST_F(DatabaseStageTest, CloseReleasesEverythingAndASecondRunStartsAfresh)
{
    DBFileName = CreateDatabase(std::string(QuenorLogTables) + InsertRows("log", {{"1990-01-01 00:00:00", false}}));
    DatabaseStage stage(trace);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        EXPECT_EQ(stage.Connection().database, nullptr);
        EXPECT_EQ(stage.Connection().transaction, nullptr);
        EXPECT_EQ(stage.Connection().sql, nullptr);
        ASSERT_TRUE(stage.OpenDatabase());
        EXPECT_TRUE(stage.Connection().database->Connected());
        EXPECT_FALSE(stage.Connection().transaction->InTransaction()) << "opening starts no server transaction";
        ASSERT_TRUE(stage.DeleteBeforeDate({2000, 1, 1, 0, 0, 0, 0}));
        EXPECT_TRUE(stage.Connection().sql->Prepared()) << "the second statement stays prepared until closing";
        EXPECT_TRUE(FileHeldByLock(DBFileName));
        ASSERT_TRUE(stage.CloseDatabase());
        EXPECT_FALSE(FileHeldByLock(DBFileName));
    }
    EXPECT_EQ(QueryInteger(DBFileName, "SELECT COUNT(*) FROM log"), 0);
    EXPECT_TRUE(trace.lines.empty());
}

// Which client a run went through, for whoever supports the operator: once
// per open, by its full path and its own version text.
TEST_F(DatabaseStageTest, EachOpenNamesTheClientItWentThroughInTheSupportLog)
{
    DBFileName = CreateDatabase(QuenorLogTables);
    DatabaseStage stage(trace);
    testing::internal::CaptureStderr();
    for (int run = 1; run <= 2; ++run) {
        ASSERT_TRUE(stage.OpenDatabase());
        ASSERT_TRUE(stage.CloseDatabase());
    }
    const std::string supportLog = testing::internal::GetCapturedStderr();

    const std::regex line(
        "quenor-cleaner: Firebird client: (/[^,\n]*/libfbclient\\.so\\.2), version "
        "[A-Z]{2}-V[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+ Firebird [0-9.]+\n");
    std::vector<std::string> files;
    for (auto found = std::sregex_iterator(supportLog.begin(), supportLog.end(), line); found != std::sregex_iterator();
         ++found)
        files.push_back((*found)[1]);
    ASSERT_EQ(files.size(), 2u) << supportLog;
    EXPECT_TRUE(std::filesystem::is_regular_file(files[0])) << files[0];
    EXPECT_EQ(files[1], files[0]);
}

TEST_F(DatabaseStageTest, FailedDetachTracesItsRedLineAndKeepsTheObjects)
{
    DBFileName = CreateDatabase(QuenorLogTables);
    DatabaseStage stage(trace, {FAULTY_FBCLIENT_LIBRARY});
    ASSERT_TRUE(stage.OpenDatabase());
    ASSERT_TRUE(stage.DeleteBeforeDate({2000, 1, 1, 0, 0, 0, 0}));
    {
        DetachFault fault(FAULTY_FBCLIENT_LIBRARY);
        EXPECT_FALSE(stage.CloseDatabase());
    }
    const std::vector<RecordingTrace::Line> closeFailed = {{"An exception occured during close the database.", clRed}};
    EXPECT_EQ(trace.lines, closeFailed);
    ASSERT_NE(stage.Connection().database, nullptr);
    EXPECT_NE(stage.Connection().transaction, nullptr);
    EXPECT_NE(stage.Connection().sql, nullptr);
    EXPECT_FALSE(stage.Connection().database->Connected()) << "the attachment is dropped by force";
    EXPECT_FALSE(FileHeldByLock(DBFileName));
}

TEST_F(DatabaseStageTest, DeleteWithoutAnOpenConnectionFailsWithItsRedLine)
{
    DatabaseStage stage(trace);
    EXPECT_FALSE(stage.DeleteBeforeDate({2000, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(trace.lines, std::vector<RecordingTrace::Line>{DeleteFailed});
}

}  // namespace

namespace {

// How long a run waits for a server to let go of the file follows the
// database's LINGER.
TEST_F(DatabaseStageTest, LingerIsReadAsTheDatabaseHasIt)
{
    DatabaseStage stage(trace);
    const struct {
        const char* name;
        std::string sql;  // after the tables
        std::optional<int> linger;
    } cases[] = {
        {"none set", "", 0},
        {"30 seconds", "ALTER DATABASE SET LINGER TO 30;\n", 30},
        {"beyond what a wait needs", "ALTER DATABASE SET LINGER TO 100000;\n", 32767},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        const std::string path = caseDir.File("QUENOR.fdb");
        CreateFirebirdDatabase(path, std::string(QuenorLogTables) + c.sql);
        EXPECT_EQ(stage.ReadLinger(path), c.linger);
    }
    EXPECT_EQ(stage.ReadLinger(dir.File("missing.fdb")), std::nullopt);
}

TEST_F(DatabaseStageTest, OwnershipKeepsOthersOutUntilTheDatabaseIsOnlineAgain)
{
    using Ownership = DatabaseStage::Ownership;
    const auto gfix = [](const std::string& path, const std::string& switches) {
        ASSERT_EQ(std::system(("gfix " + switches + " -user " + UserName + " '" + path + "' >/dev/null 2>&1").c_str()),
                  0);
    };
    DatabaseStage stage(trace);
    const struct {
        const char* name;
        std::function<void(const std::string&)> arrange;
        Ownership expected;
    } cases[] = {
        {"online, nobody attached", [](const std::string&) {}, Ownership::Taken},
        {"left in single-user maintenance by a run that died",
         [&](const std::string& path) { gfix(path, "-shut single -force 0"); }, Ownership::Taken},
        {"in multi-user maintenance", [&](const std::string& path) { gfix(path, "-shut multi -force 0"); },
         Ownership::Taken},
        {"shut down for everyone", [&](const std::string& path) { gfix(path, "-shut full -force 0"); },
         Ownership::ShutDown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        const std::string path = caseDir.File("QUENOR.fdb");
        CreateFirebirdDatabase(path, QuenorLogTables);
        c.arrange(path);
        EXPECT_EQ(stage.TakeOwnership(path), c.expected);
        if (c.expected != Ownership::Taken)
            continue;
        EXPECT_FALSE(ProductAttaches(path));
        EXPECT_EQ(QueryInteger(path, "SELECT COUNT(*) FROM log"), 0) << "the run's own account still gets in";
        EXPECT_TRUE(stage.BringOnline(path));
        EXPECT_TRUE(ProductAttaches(path));
        EXPECT_TRUE(stage.BringOnline(path)) << "online already";
    }

    // Another program attached: refused, and nothing changes.
    const std::string path = dir.File("HELD.fdb");
    CreateFirebirdDatabase(path, QuenorLogTables);
    {
        AttachedDatabase other(path);
        EXPECT_EQ(stage.TakeOwnership(path), Ownership::Held);
    }
    EXPECT_TRUE(ProductAttaches(path));
    EXPECT_EQ(stage.TakeOwnership(dir.File("missing.fdb")), Ownership::NotTaken);
    EXPECT_FALSE(stage.BringOnline(dir.File("missing.fdb")));
}

TEST_F(DatabaseStageTest, SettingsTellAnInactiveIndexAndForcedWritesApart)
{
    const std::string tables = std::string(QuenorLogTables) + "CREATE INDEX log_time_index ON log (log_time);\n";
    const auto gfix = [](const std::string& path, const std::string& switches) {
        return std::system(
            ("gfix " + switches + " -user " + UserName + " -password " + Password + " '" + path + "' >/dev/null 2>&1")
                .c_str());
    };
    DatabaseStage stage(trace);
    const std::optional<DatabaseStage::Settings> made = stage.ReadSettings(CreateDatabase(tables));
    ASSERT_TRUE(made.has_value());
    EXPECT_EQ(made->forcedWrites, 1) << "a new database writes through";
    const struct {
        const char* name;
        std::string sql;                                     // after the tables
        std::function<void(const std::string&)> afterwards;  // on the file
        short indicesLess;                                   // than as made
        short forcedWrites;
    } cases[] = {
        {"an index made inactive", "ALTER INDEX log_time_index INACTIVE;\n", nullptr, 1, 1},
        {"forced writes off", "", [&](const std::string& path) { ASSERT_EQ(gfix(path, "-write async"), 0); }, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        const std::string path = caseDir.File("QUENOR.fdb");
        CreateFirebirdDatabase(path, tables + c.sql);
        if (c.afterwards)
            c.afterwards(path);
        const std::optional<DatabaseStage::Settings> read = stage.ReadSettings(path);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->activeIndices, made->activeIndices - c.indicesLess);
        EXPECT_EQ(read->forcedWrites, c.forcedWrites);
    }
    WriteFileBytes(dir.File("NOT.fdb"), std::string(16384, 'q'));
    EXPECT_FALSE(stage.ReadSettings(dir.File("NOT.fdb")).has_value());
    EXPECT_TRUE(trace.lines.empty()) << "nothing traced";
}

}  // namespace
