#include "app/ConsoleRun.h"

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLineOptions.h"
#include "app/RunEvent.h"
#include "clean/DryRun.h"
#include "clean/SharedStrings.h"
#include "platform/ConsoleOutput.h"
#include "platform/FileSystem.h"
#include "platform/FirebirdInstallation.h"
#include "platform/PathNames.h"
#include "ui/ErrorMessage.h"

namespace {

// The window's inputs, answered from the command line; its lines, written
// out as they come and kept, one per line as written, for the run's entry in
// the event log.
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
        platform::WriteReportLine(text, colour == clRed);
        std::size_t start = 0;
        for (std::size_t end = 0; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines_.push_back(text.substr(start, end - start));
        lines_.push_back(text.substr(start));
    }

    std::vector<std::string>& Lines() { return lines_; }

private:
    const CommandLineOptions& options_;
    bool correction_ = options_.fixMetadata;
    std::vector<std::string> lines_;
};

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
                       const std::function<std::unique_ptr<CleaningRun>(CleaningHost&)>& makeRun,
                       platform::EventLog* eventLog)
{
    const std::unique_ptr<platform::EventLog> platformLog = eventLog ? nullptr : platform::CreateEventLog();
    platform::EventLog& log = eventLog ? *eventLog : *platformLog;
    const platform::LocalDate today = platform::Today();
    const ParsedCommandLine parsed = ParseCommandLine(
        arguments, std::chrono::year(today.year) / std::chrono::month(today.month) / std::chrono::day(today.day));
    if (!parsed.options) {
        // Filed too: a scheduled task whose command line went wrong would
        // otherwise fail on every run without a trace where monitoring looks.
        const std::string error = "quenor-cleaner: " + parsed.error + " (see --help)";
        platform::WriteErrorLine(error);
        WriteRunEvent(log, UsageExitCode, {error});
        return UsageExitCode;
    }
    const CommandLineOptions& options = *parsed.options;
    if (options.help) {
        platform::WriteOutputText(CommandLineHelp());
        return 0;
    }
    if (options.version) {
        platform::WriteOutputText(std::string("quenor-cleaner ") + QUENOR_VERSION + "\n");
        return 0;
    }
    ConsoleHost host(options);
    // The database stage attaches to DBFileName, which the window's file
    // dialog sets.
    DBFileName = options.database;
    if (options.dryRun) {
        // Nothing waits for a person here either: a fault is a line and an
        // exit code. No entry goes to the event log, whose ids tell
        // monitoring how real runs ended.
        try {
            const std::unique_ptr<platform::FileSystem> files = platform::CreateFileSystem();
            // The count goes through the client the run would use.
            const std::vector<std::string> clients = platform::ClientLibrariesToTry(
                platform::FindFirebirdInstallation(), platform::FirebirdClientLibraryNames());
            return ExitCodeFor(DryRunCleaning(host, *files, platform::TemporaryFolder(), clients));
        } catch (...) {
            platform::WriteErrorLine("quenor-cleaner: " + ErrorMessage(std::current_exception()));
            return ExitCodeFor(RunOutcome::Refused);
        }
    }
    const std::unique_ptr<CleaningRun> run = makeRun ? makeRun(host) : std::make_unique<CleaningRun>(host);
    try {
        run->RunCleaning();
    } catch (...) {
        const std::string error = "quenor-cleaner: " + ErrorMessage(std::current_exception());
        platform::WriteErrorLine(error);
        host.Lines().push_back(error);
    }
    const int exitCode = ExitCodeFor(run->Outcome());
    WriteRunEvent(log, exitCode, host.Lines());
    return exitCode;
}
