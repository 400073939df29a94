// A cleaning run in a process of its own, for the tests that kill a run or
// race two of them:
//   quenor_run_driver <database> <firebird folder or -> <pause text or -> [skip]
// Writes each event of the run to standard output as RecordingHost names it,
// one per line. After the first traced line that contains the pause text it
// writes "paused" and waits until its standard input ends. The Firebird
// folder stands in for the registry value (gbak is <folder>/bin/gbak); "-"
// looks Firebird up as the tool does. Ends with "end" and exit code 0.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "tests/support/FakeRegistry.h"
#include "tests/support/RecordingHost.h"

namespace {

void WaitForEndOfInput()
{
    char byte = 0;
    while (read(STDIN_FILENO, &byte, 1) > 0) {
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::cerr << "usage: quenor_run_driver <database> <firebird folder or -> <pause text or -> [skip]\n";
        return 2;
    }
    const std::string firebird = argv[2];
    const std::string pause = argv[3];

    RecordingHost host;
    host.path = argv[1];
    host.skip = argc > 4 && std::string(argv[4]) == "skip";
    DBFileName = host.path;
    bool paused = false;
    std::size_t printed = 0;
    const auto print = [&] {
        for (; printed < host.events.size(); ++printed)
            std::cout << host.events[printed] << '\n';
        std::cout.flush();
    };
    host.afterTrace = [&](TColor) {
        print();
        if (paused || pause == "-" || host.events.back().find(pause) == std::string::npos)
            return;
        paused = true;
        std::cout << "paused" << std::endl;
        WaitForEndOfInput();
    };

    const auto files = platform::CreateFileSystem();
    const auto processes = platform::CreateProcessRunner();
    InstallationFinder registry =
        firebird == "-" ? PlatformInstallationFinder() : FakeRegistryFactory(true, true, firebird + "/");
    try {
        CleaningRun run(host, *files, *processes, std::move(registry));
        run.RunCleaning();
    } catch (const std::exception& error) {
        print();
        std::cout << "error " << error.what() << std::endl;
        return 1;
    }
    print();
    std::cout << "end" << std::endl;
    return 0;
}
