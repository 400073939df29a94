#pragma once

#include <string>

namespace platform {

// Whether `path` names a file that can be run: a plain file or a link of any
// kind is present (links are not followed), a directory is absent.
bool ToolFilePresent(const std::string& path);

}  // namespace platform

namespace platform {

// Where gbak lies inside a Firebird installation directory, relative to it
// ("Bin\gbak.exe" on Windows, "bin/gbak" on POSIX).
const char* GbakRelativePath();

}  // namespace platform
