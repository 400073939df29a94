// Entry point of quenor-cleaner; the start-up itself is in Application.cpp.
// The unit-level strings (clean/SharedStrings.h) are set up before main runs.
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/CommandLineOptions.h"
#include "app/ConsoleRun.h"
#include "ui/StartUp.h"

int main(int argc, char* argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (WantsCommandLineRun(arguments)) {
        // Paths reach the Firebird client in the bytes the file system
        // uses, whatever the locale, as in the window.
        UseUtf8CharacterType();
        return RunFromCommandLine(arguments);
    }
    return RunApplication(argc, argv);
}
