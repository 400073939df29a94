#pragma once

// The core's text as UTF-16, for the Windows calls that show or write it.
// Windows builds only.

#include <windows.h>

#include <string>
#include <string_view>

namespace platform {

std::wstring Utf8ToWide(std::string_view text);

// The core writes its own messages in UTF-8 but splices in paths, which are
// in the ANSI code page: each well-formed UTF-8 sequence is read as UTF-8 and
// every other byte as a character of the ANSI code page.
std::wstring CoreTextToWide(std::string_view text);

}  // namespace platform
