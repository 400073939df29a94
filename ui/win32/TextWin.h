#pragma once

// Text conversions of the Win32 window.

#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

#include "platform/CoreTextWin.h"

namespace win32ui {

// The core's text as UTF-16 (platform/CoreTextWin.h).
using platform::CoreTextToWide;
using platform::Utf8ToWide;

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
