#include "platform/ConsoleOutput.h"

#include <windows.h>

#include "platform/CoreTextWin.h"

namespace platform {
namespace {

// A console gets UTF-16 through WriteConsoleW, which shows every letter
// whatever the console's code page. Anything else (a file, a pipe, the Task
// Scheduler's redirection) gets UTF-8: it holds the Russian messages and
// paths in any script, where the ANSI or OEM code page would lose letters,
// and PowerShell, editors and log collectors read it; lines end in CR LF.
void Write(DWORD which, const std::string& text)
{
    const HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE)
        return;
    const std::wstring wide = CoreTextToWide(text);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(stream, &mode)) {
        WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::wstring crlf;
    for (const wchar_t c : wide) {
        if (c == L'\n' && (crlf.empty() || crlf.back() != L'\r'))
            crlf += L'\r';
        crlf += c;
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), utf8.data(), size, nullptr, nullptr);
    WriteFile(stream, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

void WriteReportLine(const std::string& text, bool)
{
    Write(STD_OUTPUT_HANDLE, text + "\n");
}

void WriteErrorLine(const std::string& text)
{
    Write(STD_ERROR_HANDLE, text + "\n");
}

void WriteOutputText(const std::string& text)
{
    Write(STD_OUTPUT_HANDLE, text);
}

LocalDate Today()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

}  // namespace platform
