#include "platform/ProcessRunner.h"

#include <windows.h>

#include <string>
#include <vector>

namespace platform {
namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (handle_ != nullptr)
            CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

class WinProcessRunner final : public ProcessRunner {
public:
    ProcessOutcome Run(const CommandArguments& arguments, const WhileWaiting& whileWaiting) override
    {
        // CreateProcessA may write into the command line, so it gets a copy.
        const std::string line = WindowsCommandLine(arguments);
        std::vector<char> commandLine(line.begin(), line.end());
        commandLine.push_back('\0');

        // No window-show request and no standard handles: only cb is set.
        STARTUPINFOA startup{};
        startup.cb = sizeof(STARTUPINFOA);
        PROCESS_INFORMATION started{};
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &started))
            return {};

        // Declared in this order so that the process handle closes first.
        Handle thread(started.hThread);
        Handle process(started.hProcess);
        if (!whileWaiting) {
            WaitForSingleObject(process.Get(), INFINITE);
        } else {
            const auto interval = static_cast<DWORD>(WhileWaitingInterval.count());
            while (WaitForSingleObject(process.Get(), interval) == WAIT_TIMEOUT)
                whileWaiting();
        }
        DWORD exitCode = 0;
        if (!GetExitCodeProcess(process.Get(), &exitCode))
            return {.started = true, .exited = false, .exitCode = 0};
        return {.started = true, .exited = true, .exitCode = exitCode};
    }
};

}  // namespace

std::unique_ptr<ProcessRunner> CreateProcessRunner()
{
    return std::make_unique<WinProcessRunner>();
}

}  // namespace platform
