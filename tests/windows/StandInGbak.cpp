#include "tests/windows/StandInGbak.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

std::string TestProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program = path;
    return program.substr(0, program.find_last_of('\\') + 1);
}

StandInGbak::StandInGbak(const std::string& installation, const std::vector<std::string>& script, Layout layout)
    : installation_(installation), layout_(layout)
{
    CreateDirectoryA(installation_.c_str(), nullptr);
    if (layout_ == Layout::Bin)
        CreateDirectoryA((installation_ + "\\Bin").c_str(), nullptr);
    // The build puts the stand-in beside the test program.
    const std::string built = TestProgramFolder() + "gbak.exe";
    if (!CopyFileA(built.c_str(), ProgramPath().c_str(), FALSE))
        throw std::runtime_error("cannot install the stand-in gbak from " + built);
    std::ofstream out(ProgramPath() + ".plan", std::ios::binary);
    for (const std::string& line : script)
        out << line << '\n';
}

std::vector<StandInGbak::Call> StandInGbak::Calls() const
{
    std::vector<Call> calls;
    std::ifstream in(ProgramPath() + ".log", std::ios::binary);
    // A line a run: the command line, then every argument, each ended by a NUL.
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Call call;
        std::getline(fields, call.commandLine, '\0');
        for (std::string argument; std::getline(fields, argument, '\0');)
            call.arguments.push_back(argument);
        calls.push_back(call);
    }
    return calls;
}

namespace {

void MakeFolderOf(const std::string& path)
{
    const std::string folder = path.substr(0, path.find_last_of('\\'));
    CreateDirectoryA(folder.c_str(), nullptr);
}

}  // namespace

void PlaceStandInClient(const std::string& path, bool refusesLogin)
{
    MakeFolderOf(path);
    const std::string built = TestProgramFolder() + "window\\gds32.dll";
    if (!CopyFileA(built.c_str(), path.c_str(), FALSE))
        throw std::runtime_error("cannot place the stand-in client from " + built);
    if (refusesLogin)
        std::ofstream(path.substr(0, path.find_last_of('\\') + 1) + "refuses-login");
}

void PlaceThirtyTwoBitLibrary(const std::string& path)
{
    MakeFolderOf(path);
    // The DOS header's e_lfanew (at 0x3c) points at "PE\0\0" at 0x40, which
    // the machine type IMAGE_FILE_MACHINE_I386 follows.
    std::string header(0x48, '\0');
    header[0] = 'M';
    header[1] = 'Z';
    header[0x3c] = 0x40;
    header.replace(0x40, 4, std::string("PE\0\0", 4));
    header[0x44] = static_cast<char>(0x4c);
    header[0x45] = 0x01;
    std::ofstream(path, std::ios::binary) << header;
}
