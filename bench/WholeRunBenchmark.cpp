// Times one whole cleaning run, driven through the same interfaces the window
// uses, against the same work done by hand on a copy of the same database:
// cp, isql-fb with the two deletes, gbak -b -g, rm, gbak -c.
//
//   quenor_whole_run_bench ROWS FOLDER [--repeat K] [--manual-first] [--keep]
//
// One database is generated and each of K rounds cleans two fresh copies of
// it, the side that goes first alternating from round to round (the tool
// first unless --manual-first). The disk is shared and every page the delete
// writes is flushed, so single rounds are noisy; the median ratio is the one
// to quote. FOLDER receives the database and the copies; the big files are
// removed at the end unless --keep is given.
//
//   quenor_whole_run_bench ROWS FOLDER --progress [--repeat K]
//
// Each round cleans two fresh copies with the tool alone, once followed the
// way the window follows a run (each step's progress reported ten times a
// second and made into a caption) and once not, the order alternating; the
// median of the two sides' time is compared.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchDatabase.h"
#include "bench/ChildProcess.h"
#include "bench/HeadlessHost.h"
#include "clean/CleaningRun.h"
#include "clean/CutOffText.h"
#include "clean/SharedStrings.h"

namespace fs = std::filesystem;

namespace {

const TDateTime CutOff{2024, 1, 1, 0, 0, 0, 0};
constexpr double TargetRatio = 1.10;

// The steps both ways of cleaning share, in the order they happen.
const char* const Steps[] = {"copy", "delete", "backup", "remove", "restore"};

using StepTimes = std::map<std::string, double>;

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

// Reads "name value" lines.
std::map<std::string, std::string> ReadReport(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("no report at " + path);
    std::map<std::string, std::string> values;
    std::string name;
    std::string value;
    while (in >> name >> value)
        values[name] = value;
    return values;
}

double Seconds(HeadlessHost::Clock::time_point from, HeadlessHost::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// The child side: one run on `database`, nothing else in this process, so
// its peak resident set is the run's own.
int RunTool(const std::string& database, const std::string& reportPath, bool followProgress)
{
    DBFileName = database;
    HeadlessHost host(database, CutOff, followProgress);
    const HeadlessHost::Clock::time_point start = HeadlessHost::Clock::now();
    {
        CleaningRun run(host);
        run.RunCleaning();
    }
    const HeadlessHost::Clock::time_point end = HeadlessHost::Clock::now();

    rusage self{};
    getrusage(RUSAGE_SELF, &self);

    // The summary after "Done!" is left out: it took no step's time.
    std::vector<HeadlessHost::Line> lines;
    for (const HeadlessHost::Line& line : host.Lines())
        if (line.colour != clBlack)
            lines.push_back(line);
    HeadlessHost::Clock::time_point previous = start;
    for (const HeadlessHost::Line& line : lines) {
        std::string shown = line.text;
        for (std::string::size_type at = shown.find('\n'); at != std::string::npos; at = shown.find('\n'))
            shown.replace(at, 1, "\\n");
        std::printf("  tool %8.3f s (+%7.3f)  %s\n", Seconds(start, line.at), Seconds(previous, line.at),
                    shown.c_str());
        previous = line.at;
    }
    std::fflush(stdout);

    // A successful run traces nine lines: a blue and a green one each for the
    // copy, the delete, the backup and the restore, then "Done!".
    const bool done = lines.size() == 9 && lines.back().text == "\nDone!" && host.Cursor() == crDefault;
    std::ostringstream report;
    report << "done " << (done ? 1 : 0) << "\n";
    report << "self_rss_kib " << self.ru_maxrss << "\n";
    report << "run_seconds " << Seconds(start, end) << "\n";
    report << "progress_reports " << host.ProgressReports() << "\n";
    if (done) {
        report << "copy " << Seconds(lines[0].at, lines[1].at) << "\n";
        // Up to the backup's own line, as isql's share by hand ends when it
        // has detached: attaching, both deletes, detaching, finding gbak.
        report << "delete " << Seconds(lines[1].at, lines[4].at) << "\n";
        report << "backup " << Seconds(lines[4].at, lines[5].at) << "\n";
        // From the backup's green line to the restore's blue one: deleting
        // the database file.
        report << "remove " << Seconds(lines[5].at, lines[6].at) << "\n";
        report << "restore " << Seconds(lines[6].at, lines[7].at) << "\n";
    }
    WriteText(reportPath, report.str());
    return done ? 0 : 1;
}

struct Measured {
    ChildOutcome outcome;
    StepTimes steps;
    long selfRssKiB = 0;  // the tool's own process; 0 for the pipeline
    int progressReports = 0;
};

Measured TimeTool(const std::string& self, const std::string& database, const std::string& reportPath,
                  bool followProgress = false)
{
    Measured measured;
    std::vector<std::string> command = {self, "--run-tool", database, reportPath};
    if (followProgress)
        command.push_back("--progress");
    measured.outcome = RunChild(command);
    const std::map<std::string, std::string> report = ReadReport(reportPath);
    if (!measured.outcome.succeeded || report.count("done") == 0 || report.at("done") != "1")
        throw std::runtime_error("the tool's run did not end with Done!");
    for (const char* step : Steps)
        measured.steps[step] = std::stod(report.at(step));
    measured.selfRssKiB = std::stol(report.at("self_rss_kib"));
    measured.progressReports = std::stoi(report.at("progress_reports"));
    return measured;
}

// The same work by hand, in one bash script, each step stamped with bash's
// own clock so the stamps start no process.
Measured TimeManual(const fs::path& folder, const std::string& database)
{
    const std::string base = database.substr(0, database.size() - 4);
    const std::string deleteScript = (folder / "delete.sql").string();
    const std::string reportPath = (folder / "manual-report.txt").string();
    WriteText(deleteScript, ManualDeleteScript(CutOff));

    const std::string account = " -user " + UserName + " -pass " + Password;
    const std::string db = Quoted(database);
    const std::string fdk = Quoted(base + ".fdk");
    std::ostringstream script;
    script << "set -e\n"
           << "r=" << Quoted(reportPath) << "\n"
           << "echo \"start $EPOCHREALTIME\" > \"$r\"\n"
           << "cp " << db << " " << Quoted(base + ".bak") << "\n"
           << "echo \"copy $EPOCHREALTIME\" >> \"$r\"\n"
           << "isql-fb -q -b -ch CYRL -user " << UserName << " -password " << Password << " -i "
           << Quoted(deleteScript) << " " << db << "\n"
           << "echo \"delete $EPOCHREALTIME\" >> \"$r\"\n"
           << "gbak -b -g " << db << " " << fdk << account << "\n"
           << "echo \"backup $EPOCHREALTIME\" >> \"$r\"\n"
           << "rm " << db << "\n"
           << "echo \"remove $EPOCHREALTIME\" >> \"$r\"\n"
           << "gbak -c " << fdk << " " << db << account << "\n"
           << "echo \"restore $EPOCHREALTIME\" >> \"$r\"\n";
    const std::string scriptPath = (folder / "pipeline.sh").string();
    WriteText(scriptPath, script.str());

    Measured measured;
    measured.outcome = RunChild({"bash", scriptPath}, (folder / "pipeline.log").string());
    if (!measured.outcome.succeeded)
        throw std::runtime_error("the manual pipeline failed; see " + (folder / "pipeline.log").string());
    const std::map<std::string, std::string> stamps = ReadReport(reportPath);
    double previous = std::stod(stamps.at("start"));
    for (const char* step : Steps) {
        const double at = std::stod(stamps.at(step));
        measured.steps[step] = at - previous;
        previous = at;
    }
    return measured;
}

double MiB(std::uintmax_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

bool CheckRows(const char* who, const RowCounts& counts, long rows)
{
    const long long kept = rows - rows / 2;
    const bool right = counts.log == kept && counts.errors == kept && counts.logBeforeCutOff == 0 &&
                       counts.errorsBeforeCutOff == 0;
    std::printf("rows left (%s): log %lld, ERRORS_LOG %lld, before cut-off %lld/%lld -> %s\n", who, counts.log,
                counts.errors, counts.logBeforeCutOff, counts.errorsBeforeCutOff, right ? "as expected" : "WRONG");
    return right;
}

struct Round {
    Measured tool;
    Measured manual;
    std::uintmax_t toolSizeAfter = 0;
    std::uintmax_t manualSizeAfter = 0;
    bool rowsRight = false;

    double Ratio() const { return tool.outcome.seconds / manual.outcome.seconds; }
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Both sides start from their own fresh copy of `source`.
Round RunRound(const std::string& self, const std::string& source, const fs::path& folder, long rows,
               int number, bool manualFirst)
{
    std::printf("round %d, %s first\n", number, manualFirst ? "manual" : "tool");
    std::fflush(stdout);
    const fs::path toolFolder = folder / "tool";
    const fs::path manualFolder = folder / "manual";
    const fs::path scratch = folder / "scratch";
    for (const fs::path& each : {toolFolder, manualFolder}) {
        fs::remove_all(each);
        fs::create_directories(each);
    }
    const std::string toolDatabase = (toolFolder / "quenor.fdb").string();
    const std::string manualDatabase = (manualFolder / "quenor.fdb").string();
    fs::copy_file(source, toolDatabase);
    fs::copy_file(source, manualDatabase);

    Round round;
    // Neither side should pay for writing back the other's or the copies'
    // dirty pages.
    auto timeTool = [&] {
        sync();
        round.tool = TimeTool(self, toolDatabase, (scratch / "tool-report.txt").string());
    };
    auto timeManual = [&] {
        sync();
        round.manual = TimeManual(manualFolder, manualDatabase);
    };
    if (manualFirst) {
        timeManual();
        timeTool();
    } else {
        timeTool();
        timeManual();
    }

    round.toolSizeAfter = fs::file_size(toolDatabase);
    round.manualSizeAfter = fs::file_size(manualDatabase);
    round.rowsRight = CheckRows("tool", CountRows(toolDatabase, CutOff, scratch.string()), rows) &
                      CheckRows("manual", CountRows(manualDatabase, CutOff, scratch.string()), rows);

    std::printf("%-10s %10s %10s\n", "step", "tool s", "manual s");
    for (const char* step : Steps)
        std::printf("%-10s %10.3f %10.3f\n", step, round.tool.steps[step], round.manual.steps[step]);
    std::printf("%-10s %10.3f %10.3f   ratio %.3f\n", "whole", round.tool.outcome.seconds,
                round.manual.outcome.seconds, round.Ratio());
    std::printf("database size after: tool %.1f MiB (%ju bytes), manual %.1f MiB (%ju bytes)\n",
                MiB(round.toolSizeAfter), round.toolSizeAfter, MiB(round.manualSizeAfter), round.manualSizeAfter);
    std::printf("peak RSS: tool process %.1f MiB, with its gbak children %.1f MiB; manual pipeline's largest "
                "process %.1f MiB\n\n",
                round.tool.selfRssKiB / 1024.0, round.tool.outcome.peakRssKiB / 1024.0,
                round.manual.outcome.peakRssKiB / 1024.0);
    std::fflush(stdout);
    return round;
}

// A fresh scratch folder and the database every round copies, at
// FOLDER/source.fdb.
std::string CreateSource(long rows, const fs::path& folder)
{
    const fs::path scratch = folder / "scratch";
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const std::string source = (folder / "source.fdb").string();
    std::printf("creating %ld rows in log and in ERRORS_LOG, half before %s...\n", rows, CutOffText(CutOff).c_str());
    std::fflush(stdout);
    const auto createStart = std::chrono::steady_clock::now();
    CreateBenchDatabase(source, rows, CutOff, scratch.string());
    std::printf("created in %.1f s: %.1f MiB (%ju bytes)\n\n", Seconds(createStart, std::chrono::steady_clock::now()),
                MiB(fs::file_size(source)), static_cast<std::uintmax_t>(fs::file_size(source)));
    std::fflush(stdout);
    return source;
}

int Benchmark(long rows, const fs::path& folder, int repeats, bool manualFirst, bool keep)
{
    const std::string source = CreateSource(rows, folder);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::uintmax_t sizeBefore = fs::file_size(source);

    // The order alternates, so whatever the first side leaves behind (a busy
    // disk, a warm cache) falls on both sides alike.
    std::vector<Round> rounds;
    for (int i = 0; i < repeats; ++i)
        rounds.push_back(RunRound(self, source, folder, rows, i + 1, manualFirst != (i % 2 == 1)));

    std::vector<double> ratios;
    std::vector<double> toolSeconds;
    std::vector<double> manualSeconds;
    long toolSelfRss = 0;
    long toolTreeRss = 0;
    long manualRss = 0;
    bool rowsRight = true;
    for (const Round& round : rounds) {
        ratios.push_back(round.Ratio());
        toolSeconds.push_back(round.tool.outcome.seconds);
        manualSeconds.push_back(round.manual.outcome.seconds);
        toolSelfRss = std::max(toolSelfRss, round.tool.selfRssKiB);
        toolTreeRss = std::max(toolTreeRss, round.tool.outcome.peakRssKiB);
        manualRss = std::max(manualRss, round.manual.outcome.peakRssKiB);
        rowsRight = rowsRight && round.rowsRight;
    }
    const double ratio = Median(ratios);
    std::printf("N = %ld rows per table, %d round(s)\n", rows, repeats);
    std::printf("whole run, median: tool %.3f s, manual %.3f s\n", Median(toolSeconds), Median(manualSeconds));
    std::printf("ratio tool/manual: median %.3f, range %.3f..%.3f (target <= %.2f: %s)\n", ratio,
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                TargetRatio, ratio <= TargetRatio ? "met" : "MISSED");
    std::printf("database size: before %.1f MiB (%ju bytes), after %.1f MiB (%ju bytes)\n", MiB(sizeBefore),
                sizeBefore, MiB(rounds.back().toolSizeAfter), rounds.back().toolSizeAfter);
    std::printf("peak RSS, largest of all rounds: tool process %.1f MiB, with its gbak children %.1f MiB; manual "
                "pipeline's largest process %.1f MiB\n",
                toolSelfRss / 1024.0, toolTreeRss / 1024.0, manualRss / 1024.0);

    if (!keep) {
        fs::remove(source);
        fs::remove_all(folder / "tool");
        fs::remove_all(folder / "manual");
    }
    return rowsRight ? 0 : 1;
}

// The tool with progress followed against the tool without, on fresh
// copies of one database, the side that goes first alternating.
int ProgressBenchmark(long rows, const fs::path& folder, int repeats)
{
    const std::string source = CreateSource(rows, folder);
    const fs::path scratch = folder / "scratch";
    const std::string self = fs::read_symlink("/proc/self/exe").string();

    std::vector<double> on, off, ratios;
    int reports = 0;
    for (int i = 0; i < repeats; ++i) {
        const bool onFirst = i % 2 == 0;
        double seconds[2] = {0, 0};  // off, on
        for (int side = 0; side < 2; ++side) {
            const bool followed = (side == 0) == onFirst;
            const fs::path each = folder / (followed ? "on" : "off");
            fs::remove_all(each);
            fs::create_directories(each);
            const std::string database = (each / "quenor.fdb").string();
            fs::copy_file(source, database);
            sync();
            const Measured measured = TimeTool(self, database, (scratch / "tool-report.txt").string(), followed);
            seconds[followed ? 1 : 0] = measured.outcome.seconds;
            if (followed)
                reports = measured.progressReports;
            fs::remove_all(each);
        }
        on.push_back(seconds[1]);
        off.push_back(seconds[0]);
        ratios.push_back(seconds[1] / seconds[0]);
        std::printf("round %d (%s first): progress on %.3f s, off %.3f s, on/off %.4f, %d progress reports\n", i + 1,
                    onFirst ? "on" : "off", seconds[1], seconds[0], ratios.back(), reports);
        std::fflush(stdout);
    }
    const double difference = (Median(on) - Median(off)) / Median(off) * 100;
    std::printf("N = %ld rows per table, %d round(s)\n", rows, repeats);
    std::printf("whole run, median: progress on %.3f s, off %.3f s; difference %+.2f %% (target within 1 %%: %s)\n",
                Median(on), Median(off), difference, std::abs(difference) <= 1.0 ? "met" : "MISSED");
    std::printf("on/off per round: median %.4f, range %.4f..%.4f\n", Median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    fs::remove(source);
    return 0;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: quenor_whole_run_bench ROWS FOLDER [--repeat K] [--manual-first] [--keep]\n"
                 "       quenor_whole_run_bench ROWS FOLDER --progress [--repeat K]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--run-tool")
            return RunTool(argv[2], argv[3], argc == 5 && std::string(argv[4]) == "--progress");
        if (argc < 3)
            return Usage();
        const long rows = std::strtol(argv[1], nullptr, 10);
        if (rows < 2)
            return Usage();
        int repeats = 1;
        bool manualFirst = false;
        bool keep = false;
        bool progress = false;
        for (int i = 3; i < argc; ++i) {
            const std::string option = argv[i];
            if (option == "--repeat" && i + 1 < argc)
                repeats = std::atoi(argv[++i]);
            else if (option == "--manual-first")
                manualFirst = true;
            else if (option == "--keep")
                keep = true;
            else if (option == "--progress")
                progress = true;
            else
                return Usage();
        }
        if (repeats < 1)
            return Usage();
        if (progress)
            return ProgressBenchmark(rows, fs::absolute(argv[2]), repeats);
        return Benchmark(rows, fs::absolute(argv[2]), repeats, manualFirst, keep);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quenor_whole_run_bench: %s\n", error.what());
        return 1;
    }
}
