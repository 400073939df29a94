#include "platform/CommandLine.h"

namespace platform {

std::string WindowsCommandLine(const CommandArguments& arguments)
{
    std::string line;
    for (const CommandArgument& argument : arguments) {
        if (!line.empty())
            line += ' ';
        if (argument.quoted)
            line += '"' + argument.text + '"';
        else
            line += argument.text;
    }
    return line;
}

}  // namespace platform
