#include "tests/windows/StandInGbak.h"

#include <windows.h>

#include <fstream>
#include <stdexcept>

std::string TestProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program = path;
    return program.substr(0, program.find_last_of('\\') + 1);
}

StandInGbak::StandInGbak(const std::string& installation, const std::vector<std::string>& script)
    : installation_(installation)
{
    const std::string bin = installation_ + "\\Bin";
    CreateDirectoryA(installation_.c_str(), nullptr);
    CreateDirectoryA(bin.c_str(), nullptr);
    // The build puts the stand-in beside the test program.
    const std::string built = TestProgramFolder() + "gbak.exe";
    if (!CopyFileA(built.c_str(), ProgramPath().c_str(), FALSE))
        throw std::runtime_error("cannot install the stand-in gbak from " + built);
    std::ofstream out(bin + "\\script.txt", std::ios::binary);
    for (const std::string& line : script)
        out << line << '\n';
}

std::vector<StandInGbak::Call> StandInGbak::Calls() const
{
    std::vector<Call> calls;
    std::ifstream in(installation_ + "\\Bin\\calls.txt", std::ios::binary);
    const std::string commandPrefix = "command line: ";
    const std::string argumentPrefix = "argument: ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(commandPrefix, 0) == 0)
            calls.push_back({line.substr(commandPrefix.size()), {}});
        else if (line.rfind(argumentPrefix, 0) == 0 && !calls.empty())
            calls.back().arguments.push_back(line.substr(argumentPrefix.size()));
    }
    return calls;
}
