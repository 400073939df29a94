#pragma once

#include <string>

// Where an unattended run's report goes: standard output and standard error,
// in the form the system's tools read.
namespace platform {

// One line of the run's report, written out at once so that a log of a run
// killed halfway holds every line up to that moment. `text` is the core's
// (UTF-8 messages with paths in the system's 8-bit code page) and may hold
// line breaks; `error` marks a line the window shows in red.
void WriteReportLine(const std::string& text, bool error);
// A line on standard error: what the window would show in its error box.
void WriteErrorLine(const std::string& text);
// Text written as it is to standard output (the usage text, the version).
void WriteOutputText(const std::string& text);

struct LocalDate {
    int year;
    unsigned month;  // 1 to 12
    unsigned day;
};
// Today in the machine's local time.
LocalDate Today();

}  // namespace platform
