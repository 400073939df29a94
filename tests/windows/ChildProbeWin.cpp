// A child for the Windows process runner tests. What it does is argv[1]:
//   sleep N    says "pid <its process id>" on standard output, then sleeps
//              N ms
//   chatter N  writes N lines "out <i>" and "err <i>" (i from 0, six
//              digits, then dots to 100 bytes), taking turns between
//              standard output and error
// and exits 0 (2 for anything else). Written with WriteFile, so the bytes
// are exactly these, in this order.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Say(DWORD stream, const std::string& text)
{
    DWORD written = 0;
    if (!WriteFile(GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        ExitProcess(3);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string verb = argc > 2 ? argv[1] : "";
    const int number = argc > 2 ? std::atoi(argv[2]) : 0;
    if (verb == "sleep") {
        Say(STD_OUTPUT_HANDLE, "pid " + std::to_string(GetCurrentProcessId()) + "\n");
        Sleep(static_cast<DWORD>(number));
        return 0;
    }
    if (verb == "chatter") {
        for (int i = 0; i < number; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "%s %06d", i % 2 == 0 ? "out" : "err", i);
            std::string text = line;
            text.resize(99, '.');
            Say(i % 2 == 0 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, text + "\n");
        }
        return 0;
    }
    return 2;
}
