// What a run finds at the database path and beside it after something went
// wrong before it: a folder or a broken file at the path, a dead run whose
// file the product wrote into since, a folder copied elsewhere, a touched
// safety copy, a path too long to check. Whatever it is, no row that was in
// some file before the run is in no file after it, and the lines say where
// the rows are.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "clean/WorkingNames.h"
#include "tests/clean/RunProcess.h"
#include "tests/support/AttachedDatabase.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/StandInFirebird.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::string OldAndNewRows = std::string(QuenorLogTables) + QuenorOldAndNewRows;
// What the product writes while no run is going: new rows, kept by any run.
const std::string FiveNewRows = "INSERT INTO log SELECT 100 + r.RDB$RELATION_ID, '2024-01-01 10:00:00' FROM "
                                "RDB$RELATIONS r ROWS 5;\nCOMMIT;\n";

long long LogRows(const std::string& database)
{
    return QueryInteger(database, "SELECT COUNT(*) FROM log");
}

bool Has(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The red line right after `line`, without its colour; empty when none.
std::string After(const Lines& lines, const std::string& line)
{
    const auto at = std::find(lines.begin(), lines.end(), line);
    if (at == lines.end() || at + 1 == lines.end() || at[1].rfind("red ", 0) != 0)
        return {};
    return at[1].substr(4);
}

std::string Joined(const Lines& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

const std::string InterruptedLine = "red Предыдущая очистка этого файла БД была прервана!";
const std::string BackInPlaceLine = "red Оригинальный файл БД возвращён на место:";
const std::string KeptLine = "red Файл, который был на месте БД, сохранён как:";

class LeftBehindTest : public ::testing::Test {
public:
    // A Firebird folder whose bin/gbak is this shell script.
    std::string StandInFirebird(const std::string& script) const
    {
        return ::StandInFirebird(dir.File("firebird"), script);
    }

    // A run killed once gbak's restore has written `mark` beside the script.
    void KillDuringRestore(const std::string& database, const std::string& script, const std::string& mark)
    {
        const std::string firebird = StandInFirebird(script);
        RunProcess run({database, firebird, "-"});
        ASSERT_TRUE(WaitFor([&] { return fs::exists(firebird + "/bin/" + mark); }));
        run.KillAll();
    }

    static Lines NextRun(const std::string& database)
    {
        RunProcess run({database, "/usr", "-"});
        EXPECT_TRUE(run.Finish());
        return run.Lines();
    }

    TempDir dir;
};

TEST_F(LeftBehindTest, NoRowIsLostWhateverTheRunFinds)
{
    struct Case {
        const char* name;
        // Makes what the run finds; returns the database path it is given.
        std::function<std::string(LeftBehindTest&)> arrange;
        // What must hold after that run, which traced `lines`.
        std::function<void(const std::string& database, const Lines& lines)> check;
    };
    const Case cases[] = {
        {"a folder at the database path, the operator's own .bak beside it",
         [](LeftBehindTest& t) {
             fs::create_directories(t.dir.File("MAIN.fdb"));
             WriteFileBytes(t.dir.File("MAIN.bak"), "the operator's own");
             return t.dir.File("MAIN.fdb");
         },
         [](const std::string& database, const Lines& lines) {
             EXPECT_TRUE(Has(lines, "red По пути файла БД находится папка, а не файл:"));
             EXPECT_EQ(After(lines, "red По пути файла БД находится папка, а не файл:"), database);
             EXPECT_EQ(ReadFileBytes(DeriveWorkingNames(database).bak), "the operator's own");
             EXPECT_TRUE(fs::is_directory(database));
         }},
        {"a broken file at the path, good copies of an earlier run beside it",
         [](LeftBehindTest& t) {
             const std::string database = t.dir.File("MAIN.fdb");
             CreateFirebirdDatabase(t.dir.File("MAIN.bak"), OldAndNewRows);
             WriteFileBytes(t.dir.File("MAIN.fdk"), "a backup");
             WriteFileBytes(database, std::string(65536, '\0'));
             return database;
         },
         [](const std::string& database, const Lines& lines) {
             const std::string refused =
                 "red Файл БД не открывается как база данных (повреждён, не является базой или занят другим процессом):";
             EXPECT_EQ(After(lines, refused), database);
             EXPECT_EQ(After(lines, "red Копии прошлой очистки не удалены; проверьте их:"),
                       DeriveWorkingNames(database).bak);
             EXPECT_EQ(LogRows(DeriveWorkingNames(database).bak), 2) << "the copy is intact";
             EXPECT_EQ(ReadFileBytes(DeriveWorkingNames(database).fdk), "a backup");
         }},
        {"killed after its copy, then the product wrote rows",
         [](LeftBehindTest& t) {
             const std::string database = t.dir.File("MAIN.fdb");
             CreateFirebirdDatabase(database, OldAndNewRows);
             {
                 RunProcess run({database, "/usr", "Удаление данных"});
                 EXPECT_TRUE(run.WaitUntilPaused());
                 run.KillAll();
             }
             RunIsql(database, FiveNewRows);
             return database;
         },
         [](const std::string& database, const Lines& lines) {
             EXPECT_TRUE(Has(lines, "Done!")) << Joined(lines);
             EXPECT_FALSE(Has(lines, InterruptedLine)) << "the dead run had changed nothing";
             EXPECT_EQ(LogRows(database), 6) << "the product's rows and the kept one";
         }},
        {"killed once its restore had finished, then the product wrote rows",
         [](LeftBehindTest& t) {
             const std::string database = t.dir.File("MAIN.fdb");
             CreateFirebirdDatabase(database, OldAndNewRows);
             t.KillDuringRestore(database,
                                 "if [ \"$1\" = -c ]; then /usr/bin/gbak \"$@\" || exit $?; : > \"$0.restored\"; "
                                 "exec sleep 600; fi; exec /usr/bin/gbak \"$@\"",
                                 "gbak.restored");
             RunIsql(database, FiveNewRows);
             return database;
         },
         [](const std::string& database, const Lines& lines) {
             EXPECT_TRUE(Has(lines, InterruptedLine));
             EXPECT_EQ(After(lines, BackInPlaceLine), database);
             EXPECT_EQ(LogRows(database), 2) << "the original";
             const std::string kept = After(lines, KeptLine);
             ASSERT_FALSE(kept.empty()) << Joined(lines);
             EXPECT_EQ(LogRows(kept), 6) << "the cleaned rows and the product's, in the file the line names";
         }},
        {"a server attached once the copy was made, writing rows after the run",
         [](LeftBehindTest& t) {
             const std::string database = t.dir.File("MAIN.fdb");
             CreateFirebirdDatabase(database, OldAndNewRows);
             {
                 RunProcess run({database, "/usr", "...Ok"});
                 EXPECT_TRUE(run.WaitUntilPaused());
                 const AttachedDatabase server(database);
                 EXPECT_TRUE(run.Finish());
                 const Lines& lines = run.Lines();
                 EXPECT_TRUE(Has(lines, "red Ошибка открытия файла БД!")) << Joined(lines);
                 EXPECT_FALSE(Has(lines, BackInPlaceLine)) << "the original never left its place";
                 EXPECT_FALSE(fs::exists(JournalName(database)));
                 EXPECT_FALSE(fs::exists(DeriveWorkingNames(database).bak)) << "the run's own copy is tidied";
             }
             RunIsql(database, FiveNewRows);
             return database;
         },
         [](const std::string& database, const Lines& lines) {
             EXPECT_TRUE(Has(lines, "Done!")) << Joined(lines);
             EXPECT_EQ(LogRows(database), 6);
         }},
        {"the folder copied elsewhere after a run died in its restore",
         [](LeftBehindTest& t) {
             fs::create_directories(t.dir.File("work"));
             const std::string database = t.dir.File("work/MAIN.fdb");
             CreateFirebirdDatabase(database, OldAndNewRows);
             t.KillDuringRestore(database,
                                 "if [ \"$1\" = -c ]; then echo partial > \"$3\"; : > \"$0.started\"; exec sleep 600; "
                                 "fi; exec /usr/bin/gbak \"$@\"",
                                 "gbak.started");
             fs::copy(t.dir.File("work"), t.dir.File("copied"), fs::copy_options::recursive);
             return t.dir.File("copied/MAIN.fdb");
         },
         [](const std::string& database, const Lines& lines) {
             EXPECT_TRUE(Has(lines, InterruptedLine));
             EXPECT_EQ(After(lines, BackInPlaceLine), database) << Joined(lines);
             EXPECT_EQ(LogRows(database), 2);
         }},
        {"the safety copy touched and opened in a Firebird tool after a run died",
         [](LeftBehindTest& t) {
             const std::string database = t.dir.File("MAIN.fdb");
             CreateFirebirdDatabase(database, OldAndNewRows);
             t.KillDuringRestore(database,
                                 "if [ \"$1\" = -c ]; then echo partial > \"$3\"; : > \"$0.started\"; exec sleep 600; "
                                 "fi; exec /usr/bin/gbak \"$@\"",
                                 "gbak.started");
             const std::string bak = DeriveWorkingNames(database).bak;
             EXPECT_EQ(LogRows(bak), 2);
             fs::last_write_time(bak, fs::last_write_time(bak) + std::chrono::hours(1));
             return database;
         },
         [](const std::string& database, const Lines& lines) {
             EXPECT_EQ(After(lines, BackInPlaceLine), database) << Joined(lines);
             EXPECT_EQ(LogRows(database), 2);
         }},
        {"a path longer than the engine can report",
         [](LeftBehindTest& t) {
             std::string folder = t.dir.Path();
             while (folder.size() < 260)
                 folder += "/" + std::string(40, 'd');
             fs::create_directories(folder);
             const std::string database = folder + "/MAIN.fdb";
             CreateFirebirdDatabase(database, OldAndNewRows);
             // isql cannot connect to such a path to count rows afterwards.
             WriteFileBytes(database + ".before", ReadFileBytes(database));
             return database;
         },
         [](const std::string& database, const Lines& lines) {
             EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
                 return line.rfind("red Путь к файлу БД длиннее 255 знаков", 0) == 0;
             })) << Joined(lines);
             EXPECT_TRUE(ReadFileBytes(database) == ReadFileBytes(database + ".before")) << "untouched";
             EXPECT_FALSE(fs::exists(DeriveWorkingNames(database).bak));
             EXPECT_FALSE(fs::exists(JournalName(database)));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            fs::remove_all(entry.path());
        // A row that throws (a file gone that it reads) fails alone.
        try {
            const std::string database = c.arrange(*this);
            const Lines lines = NextRun(database);
            c.check(database, lines);
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

TEST_F(LeftBehindTest, WorkingFilesAreNoEasierToReadThanTheDatabase)
{
    const std::string database = dir.File("MAIN.fdb");
    CreateFirebirdDatabase(database, OldAndNewRows);
    fs::permissions(database, fs::perms(0660));
    // The backup file's mode while gbak writes into it.
    const std::string firebird = StandInFirebird(
        "if [ \"$1\" = -b ]; then stat -c %a \"$4\" > \"$0.mode\" 2>&1; fi; exec /usr/bin/gbak \"$@\"");
    const mode_t oldMask = umask(022);
    RunProcess run({database, firebird, "-"});
    const bool finished = run.Finish();
    umask(oldMask);
    ASSERT_TRUE(finished);
    ASSERT_TRUE(Has(run.Lines(), "Done!")) << Joined(run.Lines());

    EXPECT_EQ(ReadFileBytes(firebird + "/bin/gbak.mode"), "660\n") << "from the moment gbak writes it";
    const WorkingNames names = DeriveWorkingNames(database);
    for (const std::string& file : {names.bak, names.fdk, database}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0660));
    }
}

// A client that finds no usable installation (FIREBIRD names an empty
// folder: no character sets, no password database) fails every attachment;
// the line says so instead of blaming the file.
TEST_F(LeftBehindTest, AClientThatCannotWorkIsNamedAndTheFileStays)
{
    const std::string database = dir.File("MAIN.fdb");
    CreateFirebirdDatabase(database, OldAndNewRows);
    fs::create_directories(dir.File("empty"));
    const char* old = std::getenv("FIREBIRD");
    const std::string saved = old ? old : "";
    setenv("FIREBIRD", dir.File("empty").c_str(), 1);
    RunProcess run({database, "/usr", "-"});
    if (old)
        setenv("FIREBIRD", saved.c_str(), 1);
    else
        unsetenv("FIREBIRD");
    ASSERT_TRUE(run.Finish());

    const Lines& lines = run.Lines();
    EXPECT_EQ(After(lines, "red Ошибка открытия файла БД!"),
              "Причина не в файле БД: клиент Firebird не смог подключиться к нему (проверьте установку Firebird, "
              "переменную FIREBIRD и учётную запись SYSDBA).")
        << Joined(lines);
    EXPECT_EQ(LogRows(database), 2);
    EXPECT_FALSE(fs::exists(DeriveWorkingNames(database).bak));
}

}  // namespace
