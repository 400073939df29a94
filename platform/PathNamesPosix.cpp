#include "platform/PathNames.h"

#include <cstdlib>

namespace platform {

std::size_t FileNameStart(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string TemporaryFolder()
{
    const char* configured = std::getenv("TMPDIR");
    std::string folder = configured != nullptr && *configured == '/' ? configured : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace platform
