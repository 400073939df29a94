// Stands in for gbak in the compaction tests. Each run appends its argv to
// <argv[0]>.log (arguments NUL-terminated, one line per run) and then does
// what line N of <argv[0]>.plan says, N being the number of earlier runs:
//   ok         copy the first path argument to the second, as gbak's backup
//              and restore do (the target must not exist), and exit 0
//   ok-vanish  as ok, then remove itself so that the next run cannot start
//   slow-ok N  wait N ms, then as ok: a large database's backup or restore
//   exit N     exit with code N, touching nothing
//   signal N   die by signal N
// A missing plan or line means ok.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The database and backup paths: what is neither a switch nor a switch's value.
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

bool CopyFile(const std::string& from, const std::string& to)
{
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (in == nullptr)
        return false;
    std::FILE* out = std::fopen(to.c_str(), "wbx");
    if (out == nullptr) {
        std::fclose(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, in))
        ok = ok && std::fwrite(buffer, 1, n, out) == n;
    std::fclose(in);
    return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string self = argv[0];
    const std::string log = ReadAll(self + ".log");
    const auto earlierRuns = static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
    {
        std::ofstream record(self + ".log", std::ios::binary | std::ios::app);
        for (int i = 0; i < argc; ++i)
            record << argv[i] << '\0';
        record << '\n';
    }

    std::istringstream plan(ReadAll(self + ".plan"));
    std::string line = "ok";
    for (std::size_t i = 0; i <= earlierRuns; ++i) {
        if (!std::getline(plan, line)) {
            line = "ok";
            break;
        }
    }
    std::istringstream action(line);
    std::string verb;
    int number = 0;
    action >> verb >> number;
    if (verb == "exit")
        return number;
    if (verb == "signal") {
        std::raise(number);
        return 100;  // a signal that does not kill: the test sees a wrong code
    }
    if (verb == "slow-ok")
        std::this_thread::sleep_for(std::chrono::milliseconds(number));
    const std::vector<std::string> paths = PathArguments(argc, argv);
    if (paths.size() != 2 || !CopyFile(paths[0], paths[1]))
        return 1;
    if (verb == "ok-vanish")
        unlink(self.c_str());
    return 0;
}
