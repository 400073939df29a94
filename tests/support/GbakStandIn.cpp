// Stands in for Firebird's gbak in the tests, on Linux and under Wine alike.
// Each run appends one line to <program>.log beside itself: the command line
// as the system handed it over (on POSIX, which has none, the arguments
// joined by spaces), then every argument, each field ended by a NUL. What
// run n (counting from 0) does is line n of <program>.plan, the last line
// serving for any later run; without a plan every run is "ok":
//   ok           copy the first path argument to the second, as a backup
//                (database -> backup file) and a restore (backup file ->
//                database) leave it; a backup writes over an existing
//                target, a restore needs a new one; a restored Firebird
//                database is online, as gbak makes it, whatever shutdown
//                the backed-up one was in; exit 0, or 3 when the copy fails
//   ok-vanish    as ok, then remove the program, so no later run can start
//                (POSIX: a running Windows program cannot be removed)
//   slow-ok N    wait N milliseconds, then as ok
//   await-ok     wait until <program>.go exists, which the test makes once
//                it has seen what it waits for (a minute at most), then
//                as ok
//   exit N       exit with code N (0x… for hexadecimal), touching nothing
//   scribble N   write a few bytes over the second path argument, as a
//                restore that broke off half-way does, and exit with N
//   signal N     die by signal N (POSIX)
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/GbakStandInSystem.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string PlanLine(const std::string& plan, std::size_t run)
{
    std::istringstream lines(plan);
    std::string chosen = "ok";
    std::string line;
    for (std::size_t i = 0; i <= run && std::getline(lines, line); ++i)
        chosen = line;
    return chosen;
}

// The file names among the arguments: everything that is neither a switch
// nor the value of one.
std::vector<std::string> PathArguments(int argc, char** argv)
{
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-user" || argument == "-pass" || argument == "-fix_fss_metadata")
            ++i;
        else if (argument.empty() || argument[0] != '-')
            paths.push_back(argument);
    }
    return paths;
}

// Clears the shutdown bits of a Firebird header page (hdr_flags, at byte 42
// of the first page since ODS 10); a file that is no database stays as it is.
void MakeOnline(const std::string& path)
{
    constexpr std::streamoff FlagsAt = 42;
    constexpr unsigned ShutdownMask = 0x1080;  // hdr_shutdown_multi | hdr_shutdown_full
    constexpr char HeaderPageType = 1;
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    char head[FlagsAt + 2] = {};
    if (!file.read(head, sizeof head) || head[0] != HeaderPageType)
        return;
    const unsigned flags = static_cast<unsigned char>(head[FlagsAt]) |
                           static_cast<unsigned>(static_cast<unsigned char>(head[FlagsAt + 1])) << 8;
    if ((flags & ShutdownMask) == 0)
        return;
    const unsigned online = flags & ~ShutdownMask;
    const char bytes[2] = {static_cast<char>(online & 0xFF), static_cast<char>(online >> 8)};
    file.seekp(FlagsAt);
    file.write(bytes, sizeof bytes);
}

int Copy(const std::vector<std::string>& paths, bool backup)
{
    if (paths.size() != 2 || !CopyFileBytes(paths[0], paths[1], backup))
        return 3;
    if (!backup)
        MakeOnline(paths[1]);
    return 0;
}

bool IsBackup(int argc, char** argv)
{
    return std::find_if(argv + 1, argv + argc, [](const char* argument) { return std::string(argument) == "-b"; }) !=
           argv + argc;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string self = OwnPath(argv[0]);
    const std::string log = ReadAll(self + ".log");
    const auto earlierRuns = static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
    {
        std::ofstream record(self + ".log", std::ios::binary | std::ios::app);
        record << RawCommandLine(argc, argv) << '\0';
        for (int i = 0; i < argc; ++i)
            record << argv[i] << '\0';
        record << '\n';
    }

    std::istringstream action(PlanLine(ReadAll(self + ".plan"), earlierRuns));
    std::string verb;
    std::string number = "0";
    action >> verb >> number;
    const unsigned long value = std::stoul(number, nullptr, 0);
    const std::vector<std::string> paths = PathArguments(argc, argv);
    if (verb == "exit")
        return ExitCode(value);
    if (verb == "signal") {
        DieBySignal(static_cast<int>(value));
        return 100;  // a signal that does not kill: the test sees a wrong code
    }
    if (verb == "scribble") {
        if (paths.size() == 2)
            std::ofstream(paths[1], std::ios::binary) << "half a restore";
        return ExitCode(value);
    }
    if (verb == "slow-ok")
        std::this_thread::sleep_for(std::chrono::milliseconds(value));
    for (int waits = 0; verb == "await-ok" && waits < 1200 && !std::ifstream(self + ".go"); ++waits)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int copied = Copy(paths, IsBackup(argc, argv));
    if (verb == "ok-vanish")
        RemoveFile(self);
    return copied;
}
