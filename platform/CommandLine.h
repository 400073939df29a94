#pragma once

#include <string>
#include <vector>

namespace platform {

// One argument of a child process. `quoted` arguments are paths: on Windows
// they are wrapped in double quotes so that spaces do not split them.
struct CommandArgument {
    std::string text;
    bool quoted = false;

    bool operator==(const CommandArgument&) const = default;
};

// The program first, then its arguments. Windows gets this list as one
// command line, POSIX as an argv vector; both come from the same list so the
// two can never disagree.
using CommandArguments = std::vector<CommandArgument>;

// Joins the arguments with single spaces, quoted ones inside double quotes.
std::string WindowsCommandLine(const CommandArguments& arguments);

}  // namespace platform
