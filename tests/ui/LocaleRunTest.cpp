// Whole runs of the started program in several locales, on an ASCII path and
// on one with Cyrillic letters, spaces and double quotes. The locale is
// settled before the application object exists, so each run is a child.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/RunSummary.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The lines of a successful run, as the program prints them.
const std::vector<std::string> SuccessfulRun = {
    "#0000ff Сохранение оригинального файла БД (*.fdb -> *.bak)...",
    "#008000 ...Ok",
    "#0000ff Удаление данных до выбранной даты...",
    "#008000 ...Ok",
    "#0000ff Создание бэкапа файла БД (*.fdb -> *.fdk)...",
    "#008000 ...Ok",
    "#0000ff Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...",
    "#008000 ...Ok",
    "#008000 ",
    "#008000 Done!",
};

// Rows around the calendar's first day, 1 January 2000: all of that day
// stays, whatever the time of day.
const char* const Rows =
    "INSERT INTO log VALUES (1, '1999-12-31 23:59:59');\n"
    "INSERT INTO log VALUES (2, '2000-01-01 00:00:00');\n"
    "INSERT INTO log VALUES (3, '2000-01-01 23:59:59');\n"
    "INSERT INTO ERRORS_LOG VALUES (1, '1999-06-01 12:00:00');\n"
    "INSERT INTO ERRORS_LOG VALUES (2, '2000-01-01 08:30:00');\n";

// Runs the program on `database` with LC_ALL and LANG set to `locale`;
// returns its output lines.
std::vector<std::string> RunInLocale(const std::string& locale, const std::string& database, const std::string& out)
{
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("LC_", 0) != 0 && variable.rfind("LANG=", 0) != 0 && variable.rfind("LANGUAGE=", 0) != 0)
            variables.push_back(variable);
    }
    variables.push_back("LC_ALL=" + locale);
    variables.push_back("LANG=" + locale);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string program = LOCALE_RUN_PROGRAM;
    std::string argument = database;
    char* argv[] = {program.data(), argument.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error(std::string("cannot start the program: ") + std::strerror(spawned));
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the program failed with status " + std::to_string(status));

    std::ifstream in(out, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(LocaleRun, WholeRunInEveryLocaleOnPathsWithCyrillicLettersSpacesAndQuotes)
{
    const char* const locales[] = {"ru_RU.UTF-8", "en_US.UTF-8", "C"};
    const char* const folders[] = {"work", "Папка с \"кавычками\""};
    const char* const names[] = {"MAIN.fdb", "База данных.fdb"};
    for (const char* locale : locales)
        for (std::size_t p = 0; p < std::size(folders); ++p) {
            SCOPED_TRACE(std::string(locale) + ", " + folders[p] + "/" + names[p]);
            TempDir dir;
            // Made and read under an ASCII name, so isql's own locale plays no part.
            const std::string made = dir.File("made.fdb");
            CreateFirebirdDatabase(made, std::string(QuenorLogTables) + Rows);
            fs::create_directory(dir.File(folders[p]));
            const std::string database = dir.File(folders[p]) + "/" + names[p];
            fs::rename(made, database);

            const std::vector<std::string> lines = RunInLocale(locale, database, dir.File("out.txt"));

            EXPECT_EQ(WithoutSummary(lines, "#000000 "), SuccessfulRun);
            fs::rename(database, made);
            EXPECT_EQ(QueryInteger(made, "SELECT COUNT(*) FROM log"), 2);
            EXPECT_EQ(QueryInteger(made, "SELECT MIN(id) FROM log"), 2);
            EXPECT_EQ(QueryInteger(made, "SELECT COUNT(*) FROM ERRORS_LOG"), 1);
            EXPECT_EQ(QueryInteger(made, "SELECT MIN(id) FROM ERRORS_LOG"), 2);
        }
}

}  // namespace
