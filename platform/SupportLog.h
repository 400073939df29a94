#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes one message for whoever supports the operator: causes the window
// reports only as a fixed line (Firebird's own error text, a failed gbak's
// reason). It goes to standard error and, on Windows, to the debug output
// (OutputDebugStringW), where the operator never sees it. A newline is added.
void WriteSupportLog(std::string_view text);

// The platform's debug output (OutputDebugStringW on Windows, nothing
// elsewhere); WriteSupportLog's second destination.
void WriteDebugOutput(const std::string& line);

}  // namespace platform
