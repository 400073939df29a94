#pragma once

// Text conversions of the Win32 window.

#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

namespace win32ui {

std::wstring Utf8ToWide(std::string_view text);

// The core writes its own messages in UTF-8 but splices in paths, which are
// in the ANSI code page: each well-formed UTF-8 sequence is read as UTF-8 and
// every other byte as a character of the ANSI code page.
std::wstring CoreTextToWide(std::string_view text);

// `date` in the user's short date format with the year in four digits: a
// two-digit year would make the cut-off ambiguous.
std::wstring ShortDateText(const SYSTEMTIME& date);

// The message shown for an error: the innermost non-empty message of the
// error and of those nested in it, with a full stop added when its last
// character's code is above that of '.'. Not a std::exception: empty.
std::wstring ErrorMessageText(const std::exception_ptr& error);

// The executable's file name without its folder, cut at its first '.', every
// character after the first in lower case.
std::wstring ApplicationTitle(const std::wstring& executablePath);

}  // namespace win32ui
