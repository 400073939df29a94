#include "platform/ConsoleOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace platform {
namespace {

// Whether standard output is systemd's journal stream: systemd names that
// stream in JOURNAL_STREAM as "device:inode", and a log redirected to a
// file by the service's own script must not get priority prefixes.
bool WritingToTheJournal()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat output {};
    if (stream == nullptr || fstat(STDOUT_FILENO, &output) != 0)
        return false;
    return std::string(stream) == std::to_string(output.st_dev) + ":" + std::to_string(output.st_ino);
}

}  // namespace

void WriteReportLine(const std::string& text, bool error)
{
    // The bytes as they are: the file system's and the terminal's are the
    // same (the program runs with a UTF-8 character type). The journal reads
    // "<3>" as an error's priority and "<6>" as information's, at the start
    // of each line.
    static const bool journal = WritingToTheJournal();
    const char* priority = !journal ? "" : error ? "<3>" : "<6>";
    std::string lines = priority;
    for (const char c : text)
        lines += c == '\n' ? std::string("\n") + priority : std::string(1, c);
    lines += '\n';
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    std::fflush(stdout);
}

void WriteErrorLine(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

void WriteOutputText(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

LocalDate Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday)};
}

}  // namespace platform
