#include "ui/win32/TextWin.h"

#include <exception>
#include <stdexcept>

#include "ui/ErrorMessage.h"

namespace win32ui {

std::wstring ShortDateText(const SYSTEMTIME& date)
{
    wchar_t pattern[128] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, pattern, 128) == 0)
        wcscpy(pattern, L"dd.MM.yyyy");
    // Every run of 'y' outside quoted literals becomes "yyyy".
    std::wstring fourDigitYear;
    bool quoted = false;
    for (const wchar_t* p = pattern; *p != L'\0';) {
        if (*p == L'\'') {
            quoted = !quoted;
            fourDigitYear += *p++;
        } else if (!quoted && *p == L'y') {
            while (*p == L'y')
                ++p;
            fourDigitYear += L"yyyy";
        } else {
            fourDigitYear += *p++;
        }
    }
    wchar_t text[128] = {};
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &date, fourDigitYear.c_str(), text, 128, nullptr) == 0)
        return {};
    return text;
}

std::wstring ErrorMessageText(const std::exception_ptr& error)
{
    return CoreTextToWide(ErrorMessage(error));
}

std::wstring ApplicationTitle(const std::wstring& executablePath)
{
    return ApplicationTitleOf(executablePath, [](std::wstring tail) {
        CharLowerBuffW(tail.data(), static_cast<DWORD>(tail.size()));
        return tail;
    });
}

}  // namespace win32ui
