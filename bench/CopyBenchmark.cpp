// The safety copy (platform::FileSystem::Copy) against `cp --reflink=never` on
// the same 1 GiB file in the same run, and the copy's peak resident memory at
// 100 MiB and 1 GiB, which must not grow with the file; and what the run's
// fingerprint of the fresh copy (clean/CopyFingerprint.h) adds to it.
//
//   quenor_copy_bench [FOLDER [REPEATS]]
//
// FOLDER (default /tmp) gets a scratch folder that is removed at the end.
// Our copy flushes file and folder to disk before it reports success, and cp
// does not, so cp is also timed followed by `sync` of the copy: the fair
// comparison for durability. Build in Release; sanitizers distort both figures.
// Where the file system shares extents (XFS made with `mkfs.xfs -m reflink=1`,
// say on a loop image; `scripts/setup.sh bench` installs mkfs.xfs) the copy
// takes milliseconds.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "clean/CopyFingerprint.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr long long MiB = 1 << 20;

void Fail(const std::string& what)
{
    std::fprintf(stderr, "copy benchmark: %s\n", what.c_str());
    std::exit(1);
}

void WriteSource(const std::string& path, long long size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Fail("cannot create " + path);
    std::vector<unsigned char> chunk(MiB);
    unsigned state = 12345;
    for (long long written = 0; written < size; written += MiB) {
        for (auto& byte : chunk) {
            state = state * 1103515245u + 12345u;
            byte = static_cast<unsigned char>(state >> 24);
        }
        if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
            Fail("cannot write " + path);
    }
    if (fsync(fd) != 0 || close(fd) != 0)
        Fail("cannot flush " + path);
}

// The peak resident set of this process so far. Read from /proc rather than
// taken from wait4: a child started by vfork and exec inherits its parent's
// high-water mark in the rusage figure.
long PeakRssKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

int CopyOnce(const std::string& source, const std::string& target, const std::string& report)
{
    if (!platform::CreateFileSystem()->Copy(source, target))
        return 1;
    std::ofstream(report) << PeakRssKiB() << '\n';
    return 0;
}

// One copy in a fresh process of this program, so that its peak resident set
// is the copy's alone.
long PeakRssOfCopyKiB(const std::string& source, const std::string& target)
{
    const std::string report = target + ".rss";
    std::vector<std::string> texts = {"/proc/self/exe", "--copy-once", source, target, report};
    std::vector<char*> argv;
    for (auto& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0)
        Fail("cannot start the measuring child");
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail("the copy failed in the measuring child");
    long peak = -1;
    std::ifstream(report) >> peak;
    fs::remove(target);
    fs::remove(report);
    return peak;
}

double Seconds(const std::function<void()>& work)
{
    sync();  // the previous run's write-back must not land on this one
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median and the spread: on a shared machine the spread says how far
// the median can be trusted.
void Report(const char* name, const std::vector<double>& seconds)
{
    const auto [fastest, slowest] = std::minmax_element(seconds.begin(), seconds.end());
    std::printf("%-27s median %.3f s %6.0f MiB/s  (fastest %.3f s, slowest %.3f s)\n", name, Median(seconds),
                1024.0 / Median(seconds), *fastest, *slowest);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--copy-once")
        return CopyOnce(argv[2], argv[3], argv[4]);

    const std::string base = argc > 1 ? argv[1] : "/tmp";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string pattern = base + "/quenor-copy-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        Fail("cannot create a scratch folder in " + base);
    const std::string dir = pattern;
    const std::string small = dir + "/source-100MiB";
    const std::string large = dir + "/source-1GiB";
    const std::string target = dir + "/copy";
    WriteSource(small, 100 * MiB);
    WriteSource(large, 1024 * MiB);

    const auto files = platform::CreateFileSystem();
    const auto processes = platform::CreateProcessRunner();
    auto run = [&](const platform::CommandArguments& arguments) {
        const platform::ProcessOutcome outcome = processes->Run(arguments);
        if (!outcome.started || !outcome.exited || outcome.exitCode != 0)
            Fail("cannot run " + arguments.front().text);
    };
    const platform::CommandArguments cp = {{"/usr/bin/cp"}, {"--reflink=never"}, {large}, {target}};
    const platform::CommandArguments syncCopy = {{"/usr/bin/sync"}, {target}};

    std::printf("folder %s, %d repeats, 1 GiB source\n", dir.c_str(), repeats);
    std::vector<double> ours, fingerprints, cpAlone, cpSynced;
    for (int i = 0; i < repeats; ++i) {
        // Alternate the order so neither side always runs on a warmer machine.
        const bool oursFirst = i % 2 == 0;
        auto measureOurs = [&] {
            ours.push_back(Seconds([&] {
                if (!files->Copy(large, target))
                    Fail("platform copy failed");
            }));
            // Right after the copy, as the run takes it: no sync in between.
            const auto start = std::chrono::steady_clock::now();
            if (Fingerprint(*files, target).empty())
                Fail("fingerprint failed");
            fingerprints.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            fs::remove(target);
        };
        auto measureCp = [&] {
            cpAlone.push_back(Seconds([&] { run(cp); }));
            fs::remove(target);
            cpSynced.push_back(Seconds([&] {
                run(cp);
                run(syncCopy);
            }));
            fs::remove(target);
        };
        if (oursFirst) {
            measureOurs();
            measureCp();
        } else {
            measureCp();
            measureOurs();
        }
    }
    Report("platform copy (flushed)", ours);
    Report("fingerprint of the copy", fingerprints);
    Report("cp --reflink=never", cpAlone);
    Report("cp --reflink=never + sync", cpSynced);
    std::printf("throughput ratio: %.2f against cp, %.2f against cp + sync (target >= 0.9)\n",
                Median(cpAlone) / Median(ours), Median(cpSynced) / Median(ours));
    std::printf("the fingerprint adds %.0f %% to the copy\n", 100.0 * Median(fingerprints) / Median(ours));

    std::printf("peak RSS of one copy (kernel copy path): 100 MiB %ld KiB, 1 GiB %ld KiB\n",
                PeakRssOfCopyKiB(small, target), PeakRssOfCopyKiB(large, target));
    // From tmpfs to another file system the kernel will not copy, so the
    // bounded read/write loop does the work.
    if (fs::is_directory("/dev/shm")) {
        const std::string shmSmall = "/dev/shm/quenor-copy-bench-100MiB";
        const std::string shmLarge = "/dev/shm/quenor-copy-bench-1GiB";
        fs::copy_file(small, shmSmall, fs::copy_options::overwrite_existing);
        fs::copy_file(large, shmLarge, fs::copy_options::overwrite_existing);
        std::printf("peak RSS of one copy (read/write path):  100 MiB %ld KiB, 1 GiB %ld KiB\n",
                    PeakRssOfCopyKiB(shmSmall, target), PeakRssOfCopyKiB(shmLarge, target));
        fs::remove(shmSmall);
        fs::remove(shmLarge);
    }
    fs::remove_all(dir);
    return 0;
}
