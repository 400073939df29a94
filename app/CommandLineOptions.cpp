#include "app/CommandLineOptions.h"

#include <charconv>
#include <cstdio>
#include <string_view>

namespace {

// Exactly "YYYY-MM-DD" naming a day that exists.
std::optional<std::chrono::year_month_day> ParseDay(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    const auto number = [&](std::size_t at, std::size_t length, auto& value) {
        const char* first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, value);
        return error == std::errc() && end == first + length;
    };
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day))
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)};
    if (!date.ok() || year < 1)
        return std::nullopt;
    return date;
}

TDateTime StartOf(std::chrono::year_month_day date)
{
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            0,
            0,
            0,
            0};
}

ParsedCommandLine Error(const std::string& what)
{
    return {std::nullopt, what};
}

}  // namespace

bool WantsCommandLineRun(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments)
        if (argument.rfind("--", 0) == 0)
            return true;
    return false;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, std::chrono::year_month_day today)
{
    CommandLineOptions options;
    std::optional<std::string> database, before, keepDays;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const bool takesValue = name == "--database" || name == "--before" || name == "--keep-days";
        if (takesValue && !value) {
            if (i + 1 == arguments.size())
                return Error(name + " needs a value");
            value = arguments[++i];
        }
        if (!takesValue && value)
            return Error(name + " takes no value");
        std::optional<std::string>* slot = name == "--database"    ? &database
                                           : name == "--before"    ? &before
                                           : name == "--keep-days" ? &keepDays
                                                                   : nullptr;
        if (slot != nullptr) {
            if (*slot)
                return Error(name + " is given twice");
            *slot = *value;
        } else if (name == "--fix-metadata") {
            options.fixMetadata = true;
        } else if (name == "--dry-run") {
            options.dryRun = true;
        } else if (name == "--help") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            return Error("unknown argument '" + name + "'");
        }
    }
    if (options.help || options.version) {
        if (arguments.size() != 1)
            return Error(std::string(options.help ? "--help" : "--version") + " goes alone");
        return {options, {}};
    }
    if (!database || database->empty())
        return Error("--database is missing");
    if (before && keepDays)
        return Error("--before and --keep-days exclude each other");
    if (!before && !keepDays)
        return Error("--before or --keep-days is missing");
    options.database = *database;
    if (before) {
        const std::optional<std::chrono::year_month_day> day = ParseDay(*before);
        if (!day)
            return Error("--before needs a day that exists, as YYYY-MM-DD: '" + *before + "'");
        options.cutOff = StartOf(*day);
    } else {
        int days = -1;
        const char* first = keepDays->data();
        const char* last = first + keepDays->size();
        const auto [end, error] = std::from_chars(first, last, days);
        constexpr int MostDays = 100 * 366;
        if (keepDays->empty() || error != std::errc() || end != last || days < 0 || days > MostDays)
            return Error("--keep-days needs a whole number of days from 0 to " + std::to_string(MostDays) + ": '" +
                         *keepDays + "'");
        // Counted on the calendar, so a day on which the clocks change
        // counts as one day like any other.
        options.cutOff = StartOf(std::chrono::year_month_day(std::chrono::sys_days(today) - std::chrono::days(days)));
    }
    return {options, {}};
}

std::string CommandLineHelp()
{
    return "Usage: quenor-cleaner --database PATH (--before YYYY-MM-DD | --keep-days N) [--fix-metadata]\n"
           "                     [--dry-run]\n"
           "       quenor-cleaner --help | --version\n"
           "Without arguments the window opens.\n"
           "\n"
           "Cleans the Quenor database at PATH as the window's button does: saves a safety copy,\n"
           "deletes the rows of LOG and ERRORS_LOG stamped before the cut-off, compacts the\n"
           "database with gbak and puts the original back on any failure. The run's lines go to\n"
           "standard output, Firebird's and gbak's own words to standard error.\n"
           "\n"
           "  --database PATH     the database file (*.fdb)\n"
           "  --before DAY        cut-off at the start of DAY (YYYY-MM-DD)\n"
           "  --keep-days N       cut-off at the start of the day N days before today (local time)\n"
           "  --fix-metadata      gbak's -fix_fss_metadata win1251 on the restore\n"
           "  --dry-run           change nothing: say how much room the run needs and how many\n"
           "                      rows of each table it would delete (counted on a copy in the\n"
           "                      temporary folder); exit code 0 when a run could go ahead, 1 when\n"
           "                      it would be refused\n"
           "  --help, --version   this text, the version\n"
           "\n"
           "Exit codes:\n"
           "  0   done: cleaned and compacted\n"
           "  1   refused before anything changed (file held, not a database, no room, another run,\n"
           "      bad path)\n"
           "  2   failed and rolled back: the original database is in place\n"
           "  3   failed, and the original is only in the safety copy, or the files need a look\n"
           "  4   an interrupted earlier run was found and its safety copy put back; run again\n"
           "  64  usage error: nothing was done\n"
           "  other: a fault of the program\n"
           "\n"
           "On Windows each run, and each usage error, also leaves one entry in the Application\n"
           "event log under the source \"Quenor Cleaner\", its text the run's lines: event id\n"
           "1000 plus the exit code (1000 done, 1001 refused, 1002 rolled back, 1003 needs a\n"
           "look, 1004 interrupted run put back, 1064 usage error); 1000 is information, 1001\n"
           "and 1004 are warnings, the others errors.\n";
}
