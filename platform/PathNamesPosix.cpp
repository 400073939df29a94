#include "platform/PathNames.h"

namespace platform {

std::size_t FileNameStart(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace platform
