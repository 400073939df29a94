#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

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

bool CopyFileBytes(const std::string& from, const std::string& to, bool replace)
{
    if (!replace)
        return CopyFileA(from.c_str(), to.c_str(), TRUE) != FALSE;
    // Written into the existing file, so that it keeps its security.
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const HANDLE out = CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = SetEndOfFile(out) && WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    return CloseHandle(out) && ok;
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
