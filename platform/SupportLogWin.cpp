#include "platform/SupportLog.h"

#include <windows.h>

#include "platform/WideTextWin.h"

namespace platform {

void WriteDebugOutput(const std::string& line)
{
    OutputDebugStringW(AnsiToWide(line).c_str());
}

}  // namespace platform
