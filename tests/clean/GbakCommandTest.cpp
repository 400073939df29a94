#include "clean/GbakCommand.h"

#include <gtest/gtest.h>

#include <vector>

#include "clean/SharedStrings.h"

namespace {

using platform::CommandArguments;

// How a Windows program splits its command line into argv (the rules of
// CommandLineToArgvW): the program name ends at its closing quote, or at a
// blank when unquoted; after it, quotes group and are dropped, 2n backslashes
// before a quote give n, 2n+1 give n and a literal quote.
std::vector<std::string> SplitWindowsCommandLine(const std::string& line)
{
    std::vector<std::string> argv;
    std::size_t i = 0;
    std::string program;
    if (i < line.size() && line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i)
            program += line[i];
        ++i;
    } else {
        for (; i < line.size() && line[i] != ' ' && line[i] != '\t'; ++i)
            program += line[i];
    }
    argv.push_back(program);
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            return argv;
        std::string argument;
        bool inQuotes = false;
        while (i < line.size()) {
            const char c = line[i];
            if (c == '\\') {
                std::size_t count = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    argument.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(count, '\\');
                }
            } else if (c == '"') {
                if (inQuotes && i + 1 < line.size() && line[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    inQuotes = !inQuotes;
                    ++i;
                }
            } else if ((c == ' ' || c == '\t') && !inQuotes) {
                break;
            } else {
                argument += c;
                ++i;
            }
        }
        argv.push_back(argument);
    }
}

std::vector<std::string> Texts(const CommandArguments& arguments)
{
    std::vector<std::string> texts;
    for (const auto& argument : arguments)
        texts.push_back(argument.text);
    return texts;
}

struct GbakCase {
    const char* name;
    CommandArguments arguments;
    std::string line;                // byte for byte
    std::vector<std::string> argv;   // what gbak receives, program first
};

std::vector<GbakCase> Cases()
{
    const std::string gbak = "C:\\Program Files\\Firebird\\Firebird_3_0\\Bin\\gbak.exe";
    const GbakCommand command(gbak, UserName, Password);
    const GbakCommand relative("Bin\\gbak.exe", UserName, Password);
    const std::string db = "D:\\Base\\MAIN.fdb";
    const std::string fdk = "D:\\Base\\MAIN.fdk";
    // Cyrillic folder names arrive as the run's 8-bit text, passed through as bytes.
    const std::string spacedDb = "D:\\Мои базы\\Quenor main.fdb";
    const std::string spacedFdk = "D:\\Мои базы\\Quenor main.fdk";
    return {
        {"backup", command.Backup(db, fdk),
         "\"C:\\Program Files\\Firebird\\Firebird_3_0\\Bin\\gbak.exe\" -b -g \"D:\\Base\\MAIN.fdb\" "
         "\"D:\\Base\\MAIN.fdk\" -user SYSDBA -pass plumtiger",
         {gbak, "-b", "-g", db, fdk, "-user", "SYSDBA", "-pass", "plumtiger"}},
        {"restore", command.Restore(fdk, db, false),
         "\"C:\\Program Files\\Firebird\\Firebird_3_0\\Bin\\gbak.exe\" -c \"D:\\Base\\MAIN.fdk\" "
         "\"D:\\Base\\MAIN.fdb\" -user SYSDBA -pass plumtiger",
         {gbak, "-c", fdk, db, "-user", "SYSDBA", "-pass", "plumtiger"}},
        {"restore with correction", command.Restore(fdk, db, true),
         "\"C:\\Program Files\\Firebird\\Firebird_3_0\\Bin\\gbak.exe\" -c -fix_fss_metadata win1251 "
         "\"D:\\Base\\MAIN.fdk\" \"D:\\Base\\MAIN.fdb\" -user SYSDBA -pass plumtiger",
         {gbak, "-c", "-fix_fss_metadata", "win1251", fdk, db, "-user", "SYSDBA", "-pass", "plumtiger"}},
        {"backup, paths with spaces", command.Backup(spacedDb, spacedFdk),
         "\"C:\\Program Files\\Firebird\\Firebird_3_0\\Bin\\gbak.exe\" -b -g \"D:\\Мои базы\\Quenor main.fdb\" "
         "\"D:\\Мои базы\\Quenor main.fdk\" -user SYSDBA -pass plumtiger",
         {gbak, "-b", "-g", spacedDb, spacedFdk, "-user", "SYSDBA", "-pass", "plumtiger"}},
        {"restore with correction, paths with spaces", command.Restore(spacedFdk, spacedDb, true),
         "\"C:\\Program Files\\Firebird\\Firebird_3_0\\Bin\\gbak.exe\" -c -fix_fss_metadata win1251 "
         "\"D:\\Мои базы\\Quenor main.fdk\" \"D:\\Мои базы\\Quenor main.fdb\" -user SYSDBA -pass plumtiger",
         {gbak, "-c", "-fix_fss_metadata", "win1251", spacedFdk, spacedDb, "-user", "SYSDBA", "-pass",
          "plumtiger"}},
        {"relative gbak when the installation value is missing", relative.Backup(db, fdk),
         "\"Bin\\gbak.exe\" -b -g \"D:\\Base\\MAIN.fdb\" \"D:\\Base\\MAIN.fdk\" -user SYSDBA -pass plumtiger",
         {"Bin\\gbak.exe", "-b", "-g", db, fdk, "-user", "SYSDBA", "-pass", "plumtiger"}},
    };
}

TEST(GbakCommand, WindowsLinesAreExactBytes)
{
    for (const GbakCase& c : Cases())
        EXPECT_EQ(platform::WindowsCommandLine(c.arguments), c.line) << c.name;
}

// The Windows line and the POSIX argv come from one list; split back by the
// Windows rules, the line gives gbak exactly the arguments POSIX passes.
TEST(GbakCommand, WindowsLineSplitsBackIntoTheArgumentList)
{
    for (const GbakCase& c : Cases()) {
        EXPECT_EQ(SplitWindowsCommandLine(platform::WindowsCommandLine(c.arguments)), c.argv) << c.name;
        EXPECT_EQ(Texts(c.arguments), c.argv) << c.name;
    }
}

}  // namespace
