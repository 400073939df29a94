// Times one whole cleaning run, driven through the same interfaces the window
// uses, against the same work done by hand on a copy of the same database:
// cp, isql-fb with the two deletes, gbak -b -g, rm, gbak -c.
//
//   quenor_whole_run_bench ROWS FOLDER [--manual-first] [--keep]
//
// FOLDER receives the database and both working copies; the big files are
// removed at the end unless --keep is given.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

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
int RunTool(const std::string& database, const std::string& reportPath)
{
    DBFileName = database;
    HeadlessHost host(database, CutOff);
    const HeadlessHost::Clock::time_point start = HeadlessHost::Clock::now();
    {
        CleaningRun run(host);
        run.RunCleaning();
    }
    const HeadlessHost::Clock::time_point end = HeadlessHost::Clock::now();

    rusage self{};
    getrusage(RUSAGE_SELF, &self);

    const std::vector<HeadlessHost::Line>& lines = host.Lines();
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

    // A successful run traces eight lines: copy blue/green, delete blue/green,
    // backup blue/green, restore blue/green, then "Done!". The database step
    // here includes attaching and detaching, as isql's does by hand.
    const bool done = lines.size() == 9 && lines.back().text == "\nDone!" && host.Cursor() == crDefault;
    std::ostringstream report;
    report << "done " << (done ? 1 : 0) << "\n";
    report << "self_rss_kib " << self.ru_maxrss << "\n";
    report << "run_seconds " << Seconds(start, end) << "\n";
    if (done) {
        report << "copy " << Seconds(lines[0].at, lines[1].at) << "\n";
        report << "delete " << Seconds(lines[1].at, lines[3].at) << "\n";
        // From the end of the delete to the backup's own line: detaching and
        // finding gbak; from the backup's green line to the restore's blue
        // one: deleting the database file.
        report << "backup " << Seconds(lines[3].at, lines[5].at) << "\n";
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
};

Measured TimeTool(const std::string& self, const std::string& database, const std::string& reportPath)
{
    Measured measured;
    measured.outcome = RunChild({self, "--run-tool", database, reportPath});
    const std::map<std::string, std::string> report = ReadReport(reportPath);
    if (!measured.outcome.succeeded || report.count("done") == 0 || report.at("done") != "1")
        throw std::runtime_error("the tool's run did not end with Done!");
    for (const char* step : Steps)
        measured.steps[step] = std::stod(report.at(step));
    measured.selfRssKiB = std::stol(report.at("self_rss_kib"));
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

int Benchmark(long rows, const fs::path& folder, bool manualFirst, bool keep)
{
    const fs::path toolFolder = folder / "tool";
    const fs::path manualFolder = folder / "manual";
    const fs::path scratch = folder / "scratch";
    for (const fs::path& each : {toolFolder, manualFolder, scratch}) {
        fs::remove_all(each);
        fs::create_directories(each);
    }
    const std::string source = (folder / "source.fdb").string();
    const std::string toolDatabase = (toolFolder / "quenor.fdb").string();
    const std::string manualDatabase = (manualFolder / "quenor.fdb").string();
    const std::string self = fs::read_symlink("/proc/self/exe").string();

    std::printf("creating %ld rows in log and in ERRORS_LOG, half before %s...\n", rows, CutOffText(CutOff).c_str());
    std::fflush(stdout);
    const auto createStart = std::chrono::steady_clock::now();
    CreateBenchDatabase(source, rows, CutOff, scratch.string());
    std::printf("created in %.1f s\n", Seconds(createStart, std::chrono::steady_clock::now()));
    std::fflush(stdout);
    const std::uintmax_t sizeBefore = fs::file_size(source);
    fs::copy_file(source, toolDatabase);
    fs::copy_file(source, manualDatabase);
    fs::remove(source);

    Measured tool;
    Measured manual;
    // Neither side should pay for writing back the other's or the copies'
    // dirty pages.
    auto timeTool = [&] {
        sync();
        tool = TimeTool(self, toolDatabase, (scratch / "tool-report.txt").string());
    };
    auto timeManual = [&] {
        sync();
        manual = TimeManual(manualFolder, manualDatabase);
    };
    if (manualFirst) {
        timeManual();
        timeTool();
    } else {
        timeTool();
        timeManual();
    }

    const std::uintmax_t toolAfter = fs::file_size(toolDatabase);
    const std::uintmax_t manualAfter = fs::file_size(manualDatabase);
    const bool rowsRight = CheckRows("tool", CountRows(toolDatabase, CutOff, scratch.string()), rows) &
                           CheckRows("manual", CountRows(manualDatabase, CutOff, scratch.string()), rows);

    const double ratio = tool.outcome.seconds / manual.outcome.seconds;
    std::printf("\nN = %ld rows per table, %s first\n", rows, manualFirst ? "manual" : "tool");
    std::printf("%-10s %10s %10s\n", "step", "tool s", "manual s");
    for (const char* step : Steps)
        std::printf("%-10s %10.3f %10.3f\n", step, tool.steps[step], manual.steps[step]);
    std::printf("%-10s %10.3f %10.3f\n", "whole", tool.outcome.seconds, manual.outcome.seconds);
    std::printf("ratio tool/manual: %.3f (target <= %.2f: %s)\n", ratio, TargetRatio,
                ratio <= TargetRatio ? "met" : "MISSED");
    std::printf("database size before: %.1f MiB (%ju bytes)\n", MiB(sizeBefore), sizeBefore);
    std::printf("database size after:  tool %.1f MiB (%ju bytes), manual %.1f MiB (%ju bytes)\n", MiB(toolAfter),
                toolAfter, MiB(manualAfter), manualAfter);
    std::printf("peak RSS: tool process %.1f MiB; with its gbak children %.1f MiB; manual pipeline's largest "
                "process %.1f MiB\n",
                tool.selfRssKiB / 1024.0, tool.outcome.peakRssKiB / 1024.0, manual.outcome.peakRssKiB / 1024.0);

    if (!keep) {
        fs::remove_all(toolFolder);
        fs::remove_all(manualFolder);
    }
    return rowsRight ? 0 : 1;
}

int Usage()
{
    std::fprintf(stderr, "usage: quenor_whole_run_bench ROWS FOLDER [--manual-first] [--keep]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 4 && std::string(argv[1]) == "--run-tool")
            return RunTool(argv[2], argv[3]);
        if (argc < 3)
            return Usage();
        const long rows = std::strtol(argv[1], nullptr, 10);
        if (rows < 2)
            return Usage();
        bool manualFirst = false;
        bool keep = false;
        for (int i = 3; i < argc; ++i) {
            const std::string option = argv[i];
            if (option == "--manual-first")
                manualFirst = true;
            else if (option == "--keep")
                keep = true;
            else
                return Usage();
        }
        return Benchmark(rows, fs::absolute(argv[2]), manualFirst, keep);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quenor_whole_run_bench: %s\n", error.what());
        return 1;
    }
}
