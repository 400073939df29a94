// Stands in for Firebird's gbak.exe in the Windows tests. Each run appends
// what it received to calls.txt beside itself: the raw command line, then
// every argument as the C runtime split it. Its behaviour for the n-th run
// (counting from 0) is line n of script.txt beside itself, the last line
// serving for any later run:
//   <exit code> [copy|scribble]
// The exit code may be hexadecimal ("0x80000001"). With "copy" the program
// first copies its first path argument to its second, which is what a
// backup (database -> backup file) and a restore (backup file -> database)
// leave behind; a failed copy ends the run with exit code 3. With "scribble"
// it writes a few bytes to its second path argument, as a restore that broke
// off half-way does.
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::string OwnFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

int RunsRecorded(const std::string& callsPath)
{
    std::ifstream calls(callsPath);
    int runs = 0;
    for (std::string line; std::getline(calls, line);)
        runs += line.rfind("command line: ", 0) == 0 ? 1 : 0;
    return runs;
}

std::string ScriptLine(const std::string& scriptPath, int run)
{
    std::ifstream script(scriptPath);
    std::string chosen = "0";
    std::string line;
    for (int i = 0; i <= run && std::getline(script, line); ++i)
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

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = OwnFolder();
    const std::string callsPath = folder + "calls.txt";
    const int run = RunsRecorded(callsPath);
    {
        std::ofstream calls(callsPath, std::ios::app | std::ios::binary);
        calls << "command line: " << GetCommandLineA() << '\n';
        for (int i = 0; i < argc; ++i)
            calls << "argument: " << argv[i] << '\n';
    }

    const std::string line = ScriptLine(folder + "script.txt", run);
    const UINT exitCode = static_cast<UINT>(std::stoul(line, nullptr, 0));
    const std::vector<std::string> paths = PathArguments(argc, argv);
    if (line.find("copy") != std::string::npos) {
        if (paths.size() < 2 || !CopyFileA(paths[0].c_str(), paths[1].c_str(), TRUE))
            ExitProcess(3);
    }
    if (line.find("scribble") != std::string::npos && paths.size() >= 2)
        std::ofstream(paths[1], std::ios::binary) << "half a restore";
    ExitProcess(exitCode);
}
