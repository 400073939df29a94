// quenor-cleaner-cli.exe: the unattended run for cmd, PowerShell and the Task
// Scheduler. quenor-cleaner.exe is a GUI-subsystem program: started from a
// console it returns at once and cannot write there, and its exit code is
// lost to cmd; a console-subsystem companion beside it is waited for, writes
// to the console or the redirection, and ends with the run's exit code.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/ConsoleRun.h"
#include "platform/WideTextWin.h"

int main()
{
    // The arguments as the system holds them: a path with letters outside
    // the ANSI code page arrives marked, and the run refuses it.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i)
        arguments.push_back(platform::WideToAnsi(wide[i]));
    if (wide != nullptr)
        LocalFree(wide);
    return RunFromCommandLine(arguments);
}
