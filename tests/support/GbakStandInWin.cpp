#include <windows.h>

#include "tests/support/GbakStandInSystem.h"

std::string OwnPath(const char*)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string RawCommandLine(int, char**)
{
    return GetCommandLineA();
}

bool CopyToNewFile(const std::string& from, const std::string& to)
{
    return CopyFileA(from.c_str(), to.c_str(), TRUE) != FALSE;
}

void RemoveFile(const std::string& path)
{
    DeleteFileA(path.c_str());
}

void DieBySignal(int)
{
    // Windows has no such death; the caller's wrong exit code shows it.
}

int ExitCode(unsigned long code)
{
    // main's int result becomes the 32-bit exit code as it stands.
    return static_cast<int>(static_cast<DWORD>(code));
}
