#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "clean/TDateTime.h"

// What an unattended run was asked to do, from its command line.
struct CommandLineOptions {
    std::string database;
    TDateTime cutOff{};  // rows stamped before it are deleted
    bool fixMetadata = false;
    bool dryRun = false;  // count and measure, change nothing
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    std::optional<CommandLineOptions> options;
    std::string error;  // one line, when `options` is empty
};

// Whether the arguments (argv without the program) ask for a run without the
// window: any of them starts with "--". The toolkit's own options start with
// a single '-'.
bool WantsCommandLineRun(const std::vector<std::string>& arguments);

// Reads "--database PATH (--before YYYY-MM-DD | --keep-days N)
// [--fix-metadata] [--dry-run]", "--help" or "--version"; each option also as
// "--option=value". `today` is the local date that --keep-days counts back
// from. Every mistake is an error; nothing is guessed.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, std::chrono::year_month_day today);

// The text of --help: the synopsis, every option and every exit code.
std::string CommandLineHelp();
