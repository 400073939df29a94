// The program run from a command line, as a scheduler starts it: its
// options, and for each way a run can end the exit code, the lines on
// standard output and the files left. Real databases on the embedded engine,
// the real gbak or a script in its place.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/CommandLineOptions.h"
#include "app/ConsoleRun.h"
#include "app/RunEvent.h"
#include "clean/CleaningRun.h"
#include "clean/CopyFingerprint.h"
#include "clean/JournalEntry.h"
#include "clean/WorkingNames.h"
#include "platform/EventLog.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"
#include "platform/RunJournal.h"
#include "platform/UniqueFd.h"
#include "tests/app/FirebirdFolder.h"
#include "tests/app/RunLines.h"
#include "tests/support/FakeRegistry.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/RunSummary.h"
#include "tests/support/StandInFirebird.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

using namespace std::chrono;

TEST(CommandLineOptions, EveryMistakeIsAUsageErrorAndTheCutOffIsTheStartOfItsDay)
{
    const year_month_day today = 2026y / March / 29;  // the clocks go forward in Europe that night
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::optional<TDateTime> cutOff;  // nullopt: a usage error
        bool fixMetadata = false;
    } cases[] = {
        {"a day", {"--database", "/d/X.fdb", "--before", "2000-01-01"}, TDateTime{2000, 1, 1, 0, 0, 0, 0}},
        {"the = form", {"--database=/d/X.fdb", "--before=2024-02-29"}, TDateTime{2024, 2, 29, 0, 0, 0, 0}},
        {"with the correction",
         {"--database", "/d/X.fdb", "--before", "2000-01-01", "--fix-metadata"},
         TDateTime{2000, 1, 1, 0, 0, 0, 0},
         true},
        {"keep nothing: today's start",
         {"--database", "/d/X.fdb", "--keep-days", "0"},
         TDateTime{2026, 3, 29, 0, 0, 0, 0}},
        {"one day, back over the night the clocks change",
         {"--database", "/d/X.fdb", "--keep-days", "1"},
         TDateTime{2026, 3, 28, 0, 0, 0, 0}},
        {"back over a leap day and a year",
         {"--database", "/d/X.fdb", "--keep-days", "790"},
         TDateTime{2024, 1, 29, 0, 0, 0, 0}},
        {"a day that does not exist", {"--database", "/d/X.fdb", "--before", "2025-02-29"}, std::nullopt},
        {"a day in another form", {"--database", "/d/X.fdb", "--before", "01.01.2000"}, std::nullopt},
        {"a negative count", {"--database", "/d/X.fdb", "--keep-days", "-1"}, std::nullopt},
        {"a count with letters", {"--database", "/d/X.fdb", "--keep-days", "7d"}, std::nullopt},
        {"both cut-offs", {"--database", "/d/X.fdb", "--before", "2000-01-01", "--keep-days", "7"}, std::nullopt},
        {"no cut-off", {"--database", "/d/X.fdb"}, std::nullopt},
        {"no database", {"--before", "2000-01-01"}, std::nullopt},
        {"a value missing at the end", {"--before", "2000-01-01", "--database"}, std::nullopt},
        {"an option twice", {"--database", "/a.fdb", "--database", "/b.fdb", "--keep-days", "1"}, std::nullopt},
        {"an unknown option", {"--database", "/d/X.fdb", "--keep-days", "1", "--dry"}, std::nullopt},
        {"a stray word", {"--database", "/d/X.fdb", "--keep-days", "1", "now"}, std::nullopt},
        {"a value for a switch", {"--database", "/d/X.fdb", "--keep-days", "1", "--fix-metadata=yes"}, std::nullopt},
        {"help with more", {"--help", "--database", "/d/X.fdb"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ParsedCommandLine parsed = ParseCommandLine(c.arguments, today);
        ASSERT_EQ(parsed.options.has_value(), c.cutOff.has_value()) << parsed.error;
        if (!c.cutOff) {
            EXPECT_FALSE(parsed.error.empty());
            EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
            continue;
        }
        const TDateTime& got = parsed.options->cutOff;
        EXPECT_EQ((std::vector<int>{got.year, got.month, got.day, got.hour, got.minute, got.second, got.millisecond}),
                  (std::vector<int>{c.cutOff->year, c.cutOff->month, c.cutOff->day, 0, 0, 0, 0}));
        EXPECT_EQ(parsed.options->database.rfind("/", 0), 0u);
        EXPECT_EQ(parsed.options->fixMetadata, c.fixMetadata);
    }
    EXPECT_FALSE(WantsCommandLineRun({"-platform", "offscreen"}));
    EXPECT_TRUE(WantsCommandLineRun({"-platform", "offscreen", "--help"}));
}

struct ProgramResult {
    std::optional<int> exitCode;  // nullopt: killed, or it did not end in time
    std::vector<std::string> lines;
    std::string errors;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// `arguments` with the database's path where "DB" stands.
std::vector<std::string> WithDatabase(std::vector<std::string> arguments, const std::string& database)
{
    for (std::string& argument : arguments)
        if (argument == "DB")
            argument = database;
    return arguments;
}

// The program with `arguments` and FIREBIRD=`firebird`, its output in files.
// With `journal`, its standard output is named as systemd names a service's
// journal stream.
// `firebird` for FIREBIRD; empty: unset, as on a machine with the
// distribution's packages.
ProgramResult RunProgram(const TempDir& dir, const std::vector<std::string>& arguments, const std::string& firebird,
                         bool journal, const std::string& temporaryFolder = {})
{
    const std::string out = dir.File("stdout"), err = dir.File("stderr");
    const pid_t child = fork();
    if (child == 0) {
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int nothing = open("/dev/null", O_RDONLY);
        if (outFd < 0 || errFd < 0 || nothing < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 || dup2(nothing, 0) < 0)
            _exit(127);
        if (firebird.empty())
            unsetenv("FIREBIRD");
        else
            setenv("FIREBIRD", firebird.c_str(), 1);
        if (!temporaryFolder.empty())
            setenv("TMPDIR", temporaryFolder.c_str(), 1);
        struct stat output {};
        if (journal && fstat(1, &output) == 0)
            setenv("JOURNAL_STREAM", (std::to_string(output.st_dev) + ":" + std::to_string(output.st_ino)).c_str(), 1);
        else
            unsetenv("JOURNAL_STREAM");
        // No display: a scheduler has none.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        std::vector<char*> argv{const_cast<char*>(QUENOR_CLEANER)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(QUENOR_CLEANER, argv.data());
        _exit(127);
    }
    ProgramResult result;
    const auto deadline = steady_clock::now() + seconds(120);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return result;
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.lines = Lines(ReadFileBytes(out));
    result.errors = ReadFileBytes(err);
    return result;
}

// gbak's restore, "-c backup database …", in place of which a script runs.
constexpr const char* RestoreFails = "if [ \"$1\" = -c ]; then exit 1; fi\nexec /usr/bin/gbak \"$@\"";
// It leaves a file at the database path that another process holds locked,
// as an engine that opened it would, for longer than the run's put-back
// waits for a held file (10 s).
constexpr const char* RestoreFailsHoldingTheFile =
    "if [ \"$1\" = -c ]; then\n"
    "  : > \"$3\"\n"
    "  flock \"$3\" sleep 14 </dev/null >/dev/null 2>&1 &\n"
    "  while flock -n \"$3\" true; do sleep 0.05; done\n"
    "  exit 1\n"
    "fi\n"
    "exec /usr/bin/gbak \"$@\"";

TEST(CommandLineRun, EveryOutcomeHasItsExitCodeItsLinesAndItsFiles)
{
    const std::string interrupted = "Предыдущая очистка этого файла БД была прервана!";
    const std::string backInPlace = "Оригинальный файл БД возвращён на место:";
    struct Fixture {
        TempDir& dir;
        std::string database, bak, journal;
        std::optional<platform::UniqueFd> heldDatabase;
        platform::JournalClaim heldJournal;
    };
    const struct {
        const char* name;
        const char* gbakScript;  // "": the real gbak
        std::function<void(Fixture&)> arrange;
        std::vector<std::string> arguments;  // "DB" stands for the database's path
        int exitCode;
        std::function<std::vector<std::string>(const Fixture&)> lines;  // on standard output
        long long rowsLeft;                                             // in LOG afterwards
        bool journal = false;                                           // standard output is systemd's journal
    } cases[] = {
        {"done",
         "",
         [](Fixture&) {},
         {"--database", "DB", "--before", "2000-01-01"},
         0,
         [](const Fixture&) { return SuccessfulRunLines; },
         2},
        {"done, into systemd's journal: every line with its priority",
         "",
         [](Fixture&) {},
         {"--database", "DB", "--before", "2000-01-01"},
         0,
         [](const Fixture&) {
             std::vector<std::string> lines;
             for (const std::string& line : SuccessfulRunLines)
                 lines.push_back("<6>" + line);
             return lines;
         },
         2,
         true},
        {"the database held by another process",
         "",
         [](Fixture& f) {
             f.heldDatabase.emplace(open(f.database.c_str(), O_RDONLY | O_CLOEXEC));
             ASSERT_EQ(flock(f.heldDatabase->Get(), LOCK_EX | LOCK_NB), 0);
         },
         {"--database", "DB", "--before", "2000-01-01"},
         1,
         [](const Fixture&) {
             return std::vector<std::string>{"Сохранение оригинального файла БД (*.fdb -> *.bak)...", "Неудача...",
                                             "Причина: файл занят другим процессом."};
         },
         4},
        {"another run holds the database's journal, said to systemd's journal as an error",
         "",
         [](Fixture& f) {
             f.heldJournal = platform::ClaimRunJournal(f.journal);
             ASSERT_EQ(f.heldJournal.outcome, platform::ClaimOutcome::Claimed);
         },
         {"--database", "DB", "--keep-days", "0"},
         1,
         [](const Fixture&) {
             return std::vector<std::string>{"<3>Этот файл БД уже обрабатывается другим запуском программы!"};
         },
         4,
         true},
        {"the restore fails: rolled back",
         RestoreFails,
         [](Fixture&) {},
         {"--database", "DB", "--before", "2000-01-01"},
         2,
         [&](const Fixture& f) {
             return std::vector<std::string>{
                 SuccessfulRunLines[0], "...Ok",   SuccessfulRunLines[2], "...Ok",
                 SuccessfulRunLines[4], "...Ok",   SuccessfulRunLines[6], "Не удалось восстановить (*.fdk -> *.fdb)!",
                 backInPlace,           f.database};
         },
         4},
        {"the put-back is refused: the original only in the safety copy",
         RestoreFailsHoldingTheFile,
         [](Fixture&) {},
         {"--database", "DB", "--before", "2000-01-01"},
         3,
         [&](const Fixture& f) {
             return std::vector<std::string>{SuccessfulRunLines[0],
                                             "...Ok",
                                             SuccessfulRunLines[2],
                                             "...Ok",
                                             SuccessfulRunLines[4],
                                             "...Ok",
                                             SuccessfulRunLines[6],
                                             "Файл БД ещё занят другим процессом, ожидание до 10 с...",
                                             "Не удалось восстановить (*.fdk -> *.fdb)!",
                                             "Не удалось вернуть оригинальный файл БД на место: файл занят другим "
                                             "процессом.",
                                             "Оригинал сохранён в файле:",
                                             f.bak};
         },
         -1},
        {"a dead run's journal: its copy put back",
         "",
         [](Fixture& f) {
             // It had copied the database and deleted rows, then died.
             WriteFileBytes(f.bak, ReadFileBytes(f.database));
             auto files = platform::CreateFileSystem();
             WriteFileBytes(f.journal, WriteJournalEntry({RunStage::Changing, Fingerprint(*files, f.bak)}));
             RunIsql(f.database, "DELETE FROM log WHERE id = 1;\n");
         },
         {"--database", "DB", "--before", "2000-01-01"},
         4,
         [&](const Fixture& f) {
             return std::vector<std::string>{interrupted, "Файл, который был на месте БД, сохранён как:", "KEPT",
                                             backInPlace, f.database};
         },
         4},
        {"a usage error",
         "",
         [](Fixture&) {},
         {"--database", "DB", "--before", "2000-13-01"},
         64,
         [](const Fixture&) { return std::vector<std::string>{}; },
         4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Fixture f{dir, dir.File("MAIN.fdb"), dir.File("MAIN.bak"), JournalName(dir.File("MAIN.fdb")), {}, {}};
        CreateFirebirdDatabase(f.database, std::string(QuenorLogTables) + RowsAroundTheFirstCutOff);
        const std::string firebird = FirebirdFolder(dir.File("firebird"), c.gbakScript);
        c.arrange(f);
        if (testing::Test::HasFatalFailure())
            continue;
        const std::vector<std::string> arguments = WithDatabase(c.arguments, f.database);

        ProgramResult result = RunProgram(dir, arguments, firebird, c.journal);
        f.heldDatabase.reset();
        f.heldJournal.journal.reset();

        EXPECT_EQ(result.exitCode, c.exitCode) << result.errors;
        std::vector<std::string> expected = c.lines(f);
        for (std::size_t i = 0; i < expected.size() && i < result.lines.size(); ++i)
            if (expected[i] == "KEPT" && result.lines[i].rfind(f.database + ".quenor-kept-", 0) == 0)
                expected[i] = result.lines[i];
        // A run that ended with "Done!" sums up after it.
        const std::vector<std::string> lines =
            c.exitCode == 0 ? WithoutSummary(result.lines, c.journal ? "<6>" : "") : result.lines;
        EXPECT_EQ(lines, expected);
        if (c.exitCode == 64) {
            EXPECT_NE(result.errors.find("see --help"), std::string::npos) << result.errors;
        }
        if (c.rowsLeft >= 0) {
            EXPECT_EQ(QueryInteger(f.database, "SELECT COUNT(*) FROM log"), c.rowsLeft);
        } else {
            // The original waits in the safety copy, and the journal says so
            // to the next run.
            std::this_thread::sleep_for(seconds(4));
            EXPECT_EQ(QueryInteger(f.bak, "SELECT COUNT(*) FROM log"), 4);
            EXPECT_EQ(ReadJournalEntry(ReadFileBytes(f.journal)).stage, RunStage::Changing);
        }
    }
}

// Each layout Firebird installs itself in on Linux is found with its own
// gbak and its own client, which the support log names.
TEST(CommandLineRun, EachFirebirdLayoutRunsWithItsOwnGbakAndClient)
{
    const fs::path packagedClient = fs::canonical("/usr/lib/x86_64-linux-gnu/libfbclient.so.2");
    const struct {
        const char* name;
        bool kit;  // FIREBIRD names Firebird's own kit; else it is unset
        std::string client, gbak;  // relative to the kit
    } cases[] = {
        {"Firebird's own kit, named by FIREBIRD", true, "lib/libfbclient.so", "bin/gbak"},
        {"the distribution's packages", false, packagedClient, "/usr/bin/gbak"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.kit && fs::exists("/opt/firebird/bin/gbak"))
            GTEST_SKIP() << "/opt/firebird holds a Firebird of its own here";
        TempDir dir;
        const std::string database = dir.File("MAIN.fdb");
        CreateFirebirdDatabase(database, std::string(QuenorLogTables) + RowsAroundTheFirstCutOff);
        std::string firebird;
        if (c.kit) {
            firebird = FirebirdFolder(dir.File("Firebird 5"), "");
            fs::create_directory(firebird + "/lib");
            fs::copy_file(packagedClient, firebird + "/lib/libfbclient.so");
        }

        const std::string client = c.kit ? firebird + "/" + c.client : c.client;
        const std::string gbak = c.kit ? firebird + "/" + c.gbak : c.gbak;
        // The dry run counts through the client the run then uses.
        for (const bool dryRun : {true, false}) {
            SCOPED_TRACE(dryRun ? "dry run" : "run");
            std::vector<std::string> arguments = {"--database", database, "--before", "2000-01-01"};
            if (dryRun)
                arguments.push_back("--dry-run");

            const ProgramResult result = RunProgram(dir, arguments, firebird, false);

            EXPECT_EQ(result.exitCode, 0) << result.errors;
            // The client by the path the loader took, which may be a link to it.
            const std::string clientPrefix = "quenor-cleaner: Firebird client: ";
            const std::size_t at = result.errors.find(clientPrefix);
            ASSERT_NE(at, std::string::npos) << result.errors;
            const std::size_t from = at + clientPrefix.size();
            const std::string named = result.errors.substr(from, result.errors.find(", version ", at) - from);
            EXPECT_TRUE(c.kit ? named == client : fs::equivalent(named, client)) << named;
            if (!dryRun) {
                EXPECT_NE(result.errors.find("quenor-cleaner: gbak: " + gbak + "\n"), std::string::npos)
                    << result.errors;
            }
        }
        EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM log"), 2);
    }
}

TEST(CommandLineRun, ADryRunCountsWhatARunThenDeletesAndChangesNothing)
{
    const struct {
        const char* name;
        bool held;  // another process holds the database
        int exitCode;
        std::vector<std::string> lines;  // on standard output, after the room's line
    } cases[] = {
        {"old rows in both tables", false, 0, {"Строк старше выбранной даты: log — 2, ERRORS_LOG — 1."}},
        // As a run would be: the copy cannot be made.
        {"the database held by another process",
         true,
         1,
         {"Не удалось скопировать файл БД для подсчёта строк: файл занят другим процессом.", "SCRATCH"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string folder = dir.File("db");
        const std::string scratch = dir.File("tmp");
        fs::create_directory(folder);
        fs::create_directory(scratch);
        const std::string database = folder + "/MAIN.fdb";
        CreateFirebirdDatabase(database, std::string(QuenorLogTables) + RowsAroundTheFirstCutOff);
        const std::string firebird = FirebirdFolder(dir.File("firebird"), "");
        std::optional<platform::UniqueFd> held;
        if (c.held) {
            held.emplace(open(database.c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(flock(held->Get(), LOCK_SH), 0);
        }
        const auto before = FolderBytes(folder);
        const std::vector<std::string> arguments = {"--database", database, "--before", "2000-01-01", "--dry-run"};

        const ProgramResult result = RunProgram(dir, arguments, firebird, false, scratch);

        EXPECT_EQ(result.exitCode, c.exitCode) << result.errors;
        ASSERT_FALSE(result.lines.empty());
        EXPECT_EQ(result.lines[0].rfind("Места на диске для очистки достаточно: нужно не меньше ", 0), 0u)
            << result.lines[0];
        std::vector<std::string> expected = c.lines;
        for (std::string& line : expected)
            if (line == "SCRATCH")
                line = scratch + "/quenor-cleaner-count-0.fdb";
        EXPECT_EQ(std::vector<std::string>(result.lines.begin() + 1, result.lines.end()), expected);
        EXPECT_TRUE(FolderBytes(folder) == before) << "the database's folder as it was, byte for byte";
        EXPECT_TRUE(fs::is_empty(scratch)) << "the count's copy is gone";
        if (c.held)
            continue;

        // The run itself deletes what the dry run counted.
        const ProgramResult run = RunProgram(dir, {"--database", database, "--before", "2000-01-01"}, firebird, false);
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        ASSERT_GE(run.lines.size(), 3u);
        EXPECT_EQ(run.lines[run.lines.size() - 3], "Удалено строк: log — 2, ERRORS_LOG — 1.");
        EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM log"), 2);
        EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM ERRORS_LOG"), 1);
    }
}

// An event log that keeps what it is given, and answers as told.
class RecordingEventLog final : public platform::EventLog {
public:
    struct Entry {
        int id;
        platform::EventKind kind;
        std::vector<std::string> lines;
    };
    std::vector<Entry> entries;
    int answer = 0;

    int Write(int id, platform::EventKind kind, const std::vector<std::string>& lines) override
    {
        entries.push_back({id, kind, lines});
        return answer;
    }
};

// Standard output and error into files while it lives, as a scheduler's
// redirection takes them.
class RedirectedOutput {
public:
    RedirectedOutput(const std::string& out, const std::string& err)
    {
        Redirect(STDOUT_FILENO, out);
        Redirect(STDERR_FILENO, err);
    }
    ~RedirectedOutput()
    {
        std::fflush(stdout);
        dup2(savedOut_.Get(), STDOUT_FILENO);
        dup2(savedErr_.Get(), STDERR_FILENO);
    }
    RedirectedOutput(const RedirectedOutput&) = delete;
    RedirectedOutput& operator=(const RedirectedOutput&) = delete;

private:
    static void Redirect(int fd, const std::string& path)
    {
        std::fflush(nullptr);
        const platform::UniqueFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        dup2(file.Get(), fd);
    }

    platform::UniqueFd savedOut_{dup(STDOUT_FILENO)};
    platform::UniqueFd savedErr_{dup(STDERR_FILENO)};
};

// The run in this process, with a log that records: for each way a run ends,
// one entry with the outcome's id and kind and the lines standard output
// got, in order; a failing log changes nothing but a line on standard error.
TEST(CommandLineRun, EachRunLeavesOneEntryWithItsOutcomesIdAndKindAndTheLinesItWrote)
{
    using platform::EventKind;
    constexpr const char* RealGbak = "exec /usr/bin/gbak \"$@\"";
    struct Fixture {
        std::string database, bak, journal;
        std::optional<platform::UniqueFd> heldDatabase;
    };
    const auto nothing = [](Fixture&) {};
    const std::vector<std::string> cleaning = {"--database", "DB", "--before", "2000-01-01"};  // "DB": its path
    const struct {
        const char* name;
        std::function<void(Fixture&)> arrange;
        std::vector<std::string> arguments;
        int exitCode;
        std::optional<RunEvent> entry;
        // After the lines on standard output, as standard error has it too.
        std::string errorLine;
        const char* gbakScript = RealGbak;
        bool wrongKind = false;  // the registry's Firebird folder is not a string
        int logAnswer = 0;       // what the log answers to the entry
    } cases[] = {
        {"done", nothing, cleaning, 0, RunEvent{1000, EventKind::Information}, ""},
        {"refused: the database held by another process",
         [](Fixture& f) {
             f.heldDatabase.emplace(open(f.database.c_str(), O_RDONLY | O_CLOEXEC));
             ASSERT_EQ(flock(f.heldDatabase->Get(), LOCK_EX | LOCK_NB), 0);
         },
         cleaning, 1, RunEvent{1001, EventKind::Warning}, ""},
        {"rolled back", nothing, cleaning, 2, RunEvent{1002, EventKind::Error}, "", RestoreFails},
        {"the original only in the safety copy", nothing, cleaning, 3, RunEvent{1003, EventKind::Error}, "",
         RestoreFailsHoldingTheFile},
        {"a dead run's copy put back",
         [](Fixture& f) {
             WriteFileBytes(f.bak, ReadFileBytes(f.database));
             auto files = platform::CreateFileSystem();
             WriteFileBytes(f.journal, WriteJournalEntry({RunStage::Changing, Fingerprint(*files, f.bak)}));
         },
         cleaning, 4, RunEvent{1004, EventKind::Warning}, ""},
        {"ended by an error: its line last", nothing, cleaning, 3, RunEvent{1003, EventKind::Error},
         "quenor-cleaner: Invalid data type for 'DefaultInstance'", RealGbak, true},
        {"a usage error: its line alone",
         nothing,
         {"--database", "DB", "--before", "2000-13-01"},
         64,
         RunEvent{1064, EventKind::Error},
         "quenor-cleaner: --before needs a day that exists, as YYYY-MM-DD: '2000-13-01' (see --help)"},
        {"the version: no run, no entry", nothing, {"--version"}, 0, std::nullopt, ""},
        {"the log refuses the entry: the run and its exit code stand", nothing, cleaning, 0,
         RunEvent{1000, EventKind::Information}, "", RealGbak, false, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Fixture f{dir.File("MAIN.fdb"), dir.File("MAIN.bak"), JournalName(dir.File("MAIN.fdb")), {}};
        CreateFirebirdDatabase(f.database, std::string(QuenorLogTables) + RowsAroundTheFirstCutOff);
        c.arrange(f);
        if (testing::Test::HasFatalFailure())
            continue;
        const std::vector<std::string> arguments = WithDatabase(c.arguments, f.database);
        const std::string firebird = StandInFirebird(dir.File("firebird"), c.gbakScript) + "/";
        std::unique_ptr<platform::FileSystem> files = platform::CreateFileSystem();
        std::unique_ptr<platform::ProcessRunner> processes = platform::CreateProcessRunner();
        const auto makeRun = [&](CleaningHost& host) {
            return std::make_unique<CleaningRun>(host, *files, *processes,
                                                 FakeRegistryFactory(true, true, firebird, c.wrongKind));
        };
        RecordingEventLog log;
        log.answer = c.logAnswer;

        int exitCode = -1;
        {
            const RedirectedOutput redirected(dir.File("stdout"), dir.File("stderr"));
            exitCode = RunFromCommandLine(arguments, makeRun, &log);
        }
        f.heldDatabase.reset();

        EXPECT_EQ(exitCode, c.exitCode);
        const std::string errors = ReadFileBytes(dir.File("stderr"));
        ASSERT_EQ(log.entries.size(), c.entry ? 1u : 0u) << errors;
        if (!c.entry)
            continue;
        EXPECT_EQ(log.entries[0].id, c.entry->id);
        EXPECT_EQ(log.entries[0].kind, c.entry->kind);
        // The lines as standard output has them, in order; a run ended by
        // an error, and a usage error, add the line standard error got.
        std::vector<std::string> lines = Lines(ReadFileBytes(dir.File("stdout")));
        // The registry's error ends the run before its first line.
        if (c.exitCode != 64 && c.errorLine.empty()) {
            EXPECT_FALSE(lines.empty());
        }
        if (!c.errorLine.empty()) {
            lines.push_back(c.errorLine);
            EXPECT_NE(errors.find(c.errorLine + "\n"), std::string::npos) << errors;
        }
        EXPECT_EQ(log.entries[0].lines, lines);
        if (c.logAnswer != 0) {
            EXPECT_NE(errors.find("quenor-cleaner: the event log did not take the run's entry 1000 (system error 5)\n"),
                      std::string::npos)
                << errors;
        }
    }
}

}  // namespace
