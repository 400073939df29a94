#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "tests/support/GbakStandInSystem.h"

std::string OwnPath(const char* argv0)
{
    return argv0;
}

std::string RawCommandLine(int argc, char** argv)
{
    std::string line;
    for (int i = 0; i < argc; ++i)
        line += (i == 0 ? "" : " ") + std::string(argv[i]);
    return line;
}

bool CopyFileBytes(const std::string& from, const std::string& to, bool replace)
{
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (in == nullptr)
        return false;
    std::FILE* out = std::fopen(to.c_str(), replace ? "wb" : "wbx");
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

void RemoveFile(const std::string& path)
{
    unlink(path.c_str());
}

void DieBySignal(int signal)
{
    std::raise(signal);
}

int ExitCode(unsigned long code)
{
    return static_cast<int>(code);
}
