#include "platform/PathNames.h"

#include <windows.h>

#include <optional>

#include "platform/WideTextWin.h"

namespace platform {

std::size_t FileNameStart(const std::string& path)
{
    // Either slash separates folders, and "C:MAIN.fdb" names a file on drive C.
    const std::string::size_type separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? 0 : separator + 1;
}

std::string TemporaryFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    // A folder whose name the code page cannot spell (a user name in
    // another script) would lead the 8-bit calls elsewhere; the Windows
    // folder's own Temp is always spelt in it.
    if (length != 0 && length <= MAX_PATH) {
        if (const std::optional<std::string> exact = ExactAnsi(folder))
            return *exact;
    }
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    if (windowsLength != 0 && windowsLength <= MAX_PATH) {
        if (const std::optional<std::string> exact = ExactAnsi(std::wstring(windows) + L"\\Temp\\"))
            return *exact;
    }
    return "C:\\Windows\\Temp\\";
}

}  // namespace platform
