#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Where the last component of `path` (the file's own name) begins: right
// after the last folder separator, or 0 when there is none.
std::size_t FileNameStart(const std::string& path);

// The folder for this user's temporary files, ending with its separator:
// TMPDIR or /tmp on POSIX systems, GetTempPath on Windows.
std::string TemporaryFolder();

}  // namespace platform
