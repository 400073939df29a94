#pragma once

// Conversions between the tool's 8-bit strings (the system's ANSI code page)
// and the UTF-16 text of the wide Win32 calls. Windows builds only.

#include <windows.h>

#include <optional>
#include <string>

namespace platform {

inline std::wstring AnsiToWide(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

// Windows' own conversion picks a look-alike for a letter the code page
// lacks ("é" becomes "e"), and a path so narrowed names another file. Here
// such a letter becomes '?' instead, which no Windows file name can hold, so
// the text reaches no file at all; `exact` tells whether that happened.
inline std::string WideToAnsi(const std::wstring& text, bool* exact = nullptr)
{
    if (exact != nullptr)
        *exact = true;
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    BOOL substituted = FALSE;
    const int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, "?", &substituted);
    std::string ansi(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, ansi.data(), length, "?", nullptr);
    // The round trip catches what the flag does not: code pages whose
    // conversion never reports a substitute.
    if (exact != nullptr)
        *exact = length > 0 && !substituted && AnsiToWide(ansi) == text;
    return ansi;
}

// The text in the code page exactly, or nothing when it cannot be.
inline std::optional<std::string> ExactAnsi(const std::wstring& text)
{
    bool exact = false;
    std::string ansi = WideToAnsi(text, &exact);
    if (!exact)
        return std::nullopt;
    return ansi;
}

// Paths the tool makes (a journal, a name kept aside) are longer than the
// database's, which may itself come near MAX_PATH. Such a path is handed to
// the wide calls in its "\\?\" form, which has no such limit; shorter ones
// go as they are, so relative paths keep their meaning.
inline std::wstring WidePath(const std::string& path)
{
    // CreateDirectoryW's limit, the lowest of the calls: MAX_PATH less room
    // for an 8.3 name.
    constexpr std::size_t ShortEnough = MAX_PATH - 12;
    std::wstring wide = AnsiToWide(path);
    if (wide.size() < ShortEnough || wide.rfind(L"\\\\?\\", 0) == 0)
        return wide;
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return wide;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return wide;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace platform
