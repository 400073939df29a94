// Stands in for the tool in the process runner tests: runs its arguments as
// one program through platform::ProcessRunner and exits with that program's
// exit code (125 when it did not start or did not exit).
#include "platform/ProcessRunner.h"

int main(int argc, char** argv)
{
    platform::CommandArguments arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back({argv[i], true});
    const platform::ProcessOutcome outcome = platform::CreateProcessRunner()->Run(arguments);
    return outcome.started && outcome.exited ? static_cast<int>(outcome.exitCode) : 125;
}
