#include "platform/SupportLog.h"

namespace platform {

// Linux has no debug output apart from standard error.
void WriteDebugOutput(const std::string&) {}

}  // namespace platform
