#include "platform/SupportLog.h"

#include <cstdio>
#include <string>

namespace platform {

void WriteSupportLog(std::string_view text)
{
    // One write per message, so that lines from a gbak writing to the same
    // stream at the same time do not cut into it. A Windows program started
    // from Explorer has no standard error; the write then fails quietly.
    std::string line(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    WriteDebugOutput(line);
}

}  // namespace platform
