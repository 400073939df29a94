#include "app/ConsoleRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app/CommandLineOptions.h"
#include "clean/SharedStrings.h"
#include "ui/ErrorMessage.h"

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

// The window's inputs, answered from the command line; its lines, written
// out as they come.
class ConsoleHost final : public CleaningHost {
public:
    explicit ConsoleHost(const CommandLineOptions& options) : options_(options) {}

    std::string DatabasePathText() override { return options_.database; }
    bool SkipChecked() override { return false; }
    TDateTime CalendarValue() override { return options_.cutOff; }
    bool CorrectionChecked() override { return correction_; }
    void UncheckCorrection() override { correction_ = false; }
    void ClearTrace() override {}
    void SetScreenCursor(TCursor) override {}
    void Trace(std::string text, TColor colour) override
    {
        // The journal reads "<3>" as an error's priority and "<6>" as
        // information's, at the start of each line.
        const char* priority = !journal_ ? "" : colour == clRed ? "<3>" : "<6>";
        std::string lines = priority;
        for (const char c : text)
            lines += c == '\n' ? std::string("\n") + priority : std::string(1, c);
        lines += '\n';
        // Written at once: a log that a run killed halfway left behind still
        // has every line up to that moment.
        std::fwrite(lines.data(), 1, lines.size(), stdout);
        std::fflush(stdout);
    }

private:
    const CommandLineOptions& options_;
    bool correction_ = options_.fixMetadata;
    const bool journal_ = WritingToTheJournal();
};

std::chrono::year_month_day LocalToday()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::chrono::year_month_day{std::chrono::year(local.tm_year + 1900),
                                       std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
                                       std::chrono::day(static_cast<unsigned>(local.tm_mday))};
}

}  // namespace

int ExitCodeFor(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Done:
        return 0;
    case RunOutcome::Refused:
        return 1;
    case RunOutcome::RolledBack:
        return 2;
    case RunOutcome::NeedsAttention:
        return 3;
    case RunOutcome::InterruptedRunCompleted:
        return 4;
    }
    return 3;
}

int RunFromCommandLine(const std::vector<std::string>& arguments,
                       const std::function<std::unique_ptr<CleaningRun>(CleaningHost&)>& makeRun)
{
    const ParsedCommandLine parsed = ParseCommandLine(arguments, LocalToday());
    if (!parsed.options) {
        std::fprintf(stderr, "quenor-cleaner: %s (see --help)\n", parsed.error.c_str());
        return UsageExitCode;
    }
    const CommandLineOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(CommandLineHelp().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("quenor-cleaner %s\n", QUENOR_VERSION);
        return 0;
    }
    ConsoleHost host(options);
    // The database stage attaches to DBFileName, which the window's file
    // dialog sets.
    DBFileName = options.database;
    const std::unique_ptr<CleaningRun> run = makeRun ? makeRun(host) : std::make_unique<CleaningRun>(host);
    try {
        run->RunCleaning();
    } catch (...) {
        std::fprintf(stderr, "quenor-cleaner: %s\n", ErrorMessage(std::current_exception()).c_str());
    }
    std::fflush(stdout);
    return ExitCodeFor(run->Outcome());
}
