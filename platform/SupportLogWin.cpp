#include "platform/SupportLog.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/WideTextWin.h"

namespace platform {

void WriteSupportLog(std::string_view text)
{
    std::string line(text);
    line += '\n';
    // A program started from Explorer has no standard error; writing to it
    // then fails quietly, and the debug output still has the text.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    OutputDebugStringW(AnsiToWide(line).c_str());
}

}  // namespace platform
