// A child for the process runner tests. Writes what it was given to the file
// named by argv[1], one fact a line:
//   arg <text>         each argument, argv[0] included
//   cwd <folder>
//   env <value of QUENOR_PROBE, or "-" when unset>
//   fd <n> <target>    each open descriptor and what it leads to
// On its standard output it first says "probe pid <pid> pgid <group>".
// Then it ends as argv[2] says: "exit N", "signal N", "sleep N" (N ms, then
// exit 0), "read N" (N MiB from /dev/zero, then exit 0 once the file
// <argv[1]>.seen exists, or after a minute without it), or
// "chatter N": N lines "out <i>" and "err <i>" (i from 0, six
// digits), one a line and taking turns between standard output and error,
// then exit 0.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 100;
    // Listed before the report is opened, so that only inherited ones show.
    std::vector<std::string> descriptors;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || std::atoi(name.c_str()) == dirfd(dir))
                continue;
            char target[PATH_MAX] = {};
            const std::string link = "/proc/self/fd/" + name;
            if (readlink(link.c_str(), target, sizeof target - 1) < 0)
                target[0] = '?';
            descriptors.push_back("fd " + name + " " + target);
        }
        closedir(dir);
    }
    char cwd[PATH_MAX] = {};
    if (getcwd(cwd, sizeof cwd) == nullptr)
        cwd[0] = '?';
    const char* env = std::getenv("QUENOR_PROBE");

    std::ofstream report(argv[1], std::ios::binary | std::ios::trunc);
    for (int i = 0; i < argc; ++i)
        report << "arg " << argv[i] << '\n';
    report << "cwd " << cwd << '\n';
    report << "env " << (env != nullptr ? env : "-") << '\n';
    for (const std::string& line : descriptors)
        report << line << '\n';
    report.close();

    // Unbuffered writes, so that both streams reach a shared pipe in the
    // order they were written.
    const auto say = [](int fd, const std::string& text) {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = write(fd, text.data() + done, text.size() - done);
            if (n <= 0)
                std::_Exit(101);
            done += static_cast<std::size_t>(n);
        }
    };
    say(1, "probe pid " + std::to_string(getpid()) + " pgid " + std::to_string(getpgrp()) + "\n");

    std::istringstream action(argv[2]);
    std::string verb;
    int number = 0;
    action >> verb >> number;
    if (verb == "signal")
        std::raise(number);
    if (verb == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(number));
        return 0;
    }
    if (verb == "read") {
        // N MiB read, then watched until the test has seen them all.
        std::vector<char> buffer(1 << 20);
        const int zero = open("/dev/zero", O_RDONLY);
        for (int i = 0; i < number; ++i)
            if (read(zero, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size()))
                return 102;
        const std::string seen = std::string(argv[1]) + ".seen";
        for (int i = 0; i < 1200 && access(seen.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return 0;
    }
    if (verb == "chatter") {
        for (int i = 0; i < number; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "%s %06d\n", i % 2 == 0 ? "out" : "err", i);
            say(i % 2 == 0 ? 1 : 2, line);
        }
        return 0;
    }
    return number;
}
