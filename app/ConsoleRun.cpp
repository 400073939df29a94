#include "app/ConsoleRun.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>

#include "app/CommandLineOptions.h"
#include "clean/SharedStrings.h"
#include "ui/ErrorMessage.h"

namespace {

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
    void Trace(std::string text, TColor) override
    {
        // One line each, written at once: a log that a run killed halfway
        // left behind still has every line up to that moment.
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    const CommandLineOptions& options_;
    bool correction_ = options_.fixMetadata;
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
