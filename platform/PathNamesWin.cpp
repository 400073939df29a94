#include "platform/PathNames.h"

namespace platform {

std::size_t FileNameStart(const std::string& path)
{
    // Either slash separates folders, and "C:MAIN.fdb" names a file on drive C.
    const std::string::size_type separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? 0 : separator + 1;
}

}  // namespace platform
