// The message table quenor-cleaner-cli.exe carries for the Event Viewer,
// which shows an entry's text only through it. What Wine's ReportEventW
// receives is checked from outside, on Wine's debug channels
// (EventEntryUnderWine.cmake).
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "app/RunEvent.h"
#include "platform/CoreTextWin.h"
#include "tests/windows/StandInGbak.h"

namespace {

struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};

// The text the Event Viewer shows for entry `id` with the one insertion
// string `text`, in `language`; nullopt when the table has no such message.
std::optional<std::wstring> Shown(HMODULE module, int id, LANGID language, const std::wstring& text)
{
    const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       module, static_cast<DWORD>(id), language, reinterpret_cast<wchar_t*>(&buffer), 0,
                       reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
    if (length == 0)
        return std::nullopt;
    std::wstring shown(buffer, length);
    LocalFree(buffer);
    return shown;
}

TEST(WinEventLog, TheProgramsMessageTableShowsTheLinesForEveryExitCodesId)
{
    const std::string program = TestProgramFolder() + "quenor-cleaner-cli.exe";
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule> module(LoadLibraryExW(
        platform::Utf8ToWide(program).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_NE(module, nullptr) << program << ": " << GetLastError();
    const std::wstring text = L"Сохранение оригинального файла БД (*.fdb -> *.bak)...\r\n...Ok\r\n\r\nDone!";
    for (const LANGID language :
         {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)})
        for (const int exitCode : {0, 1, 2, 3, 4, 64}) {
            SCOPED_TRACE("exit code " + std::to_string(exitCode) + ", language " + std::to_string(language));
            EXPECT_EQ(Shown(module.get(), RunEventFor(exitCode).id, language, text), text);
        }
    // An id the program never writes has no message, so the ones above are
    // not found by some fallback of the lookup.
    EXPECT_EQ(Shown(module.get(), 1005, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text), std::nullopt);
}

}  // namespace
