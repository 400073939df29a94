// quenor-cleaner-cli.exe started from a console, as a person at cmd starts
// it: what stands on the console afterwards, read back from the screen
// buffer. The lines go there as UTF-16 (WriteConsoleW), so Russian messages
// and a Cyrillic path show as written whatever the console's code page.
// Wine's console host keeps a screen buffer only with a window of its own,
// so this test needs an X display.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/CoreTextWin.h"
#include "platform/UniqueHandleWin.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"

namespace {

std::string Utf8(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// A console of this process's own, wide enough that no line of the program
// wraps, for as long as it lives. The test's own standard handles stay where
// they were, so its report still reaches CTest.
class OwnConsole {
public:
    static constexpr SHORT Width = 400;

    OwnConsole()
    {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
        FreeConsole();
        allocated_ = AllocConsole() != FALSE;
        SetStdHandle(STD_INPUT_HANDLE, input);
        SetStdHandle(STD_OUTPUT_HANDLE, output);
        SetStdHandle(STD_ERROR_HANDLE, errors);
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        screen_ = platform::UniqueHandle(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                                     nullptr));
        resized_ = SetConsoleScreenBufferSize(screen_.Get(), COORD{Width, 100}) != FALSE;
    }
    ~OwnConsole()
    {
        screen_.Reset();
        if (allocated_)
            FreeConsole();
    }
    OwnConsole(const OwnConsole&) = delete;
    OwnConsole& operator=(const OwnConsole&) = delete;

    bool Ready() const { return allocated_ && screen_.Valid() && resized_; }
    HANDLE Screen() const { return screen_.Get(); }

    // The rows above the cursor, without their trailing blanks; the screen
    // is then emptied and the cursor put back at the top.
    std::vector<std::string> TakeRows()
    {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        std::vector<std::string> rows;
        if (!GetConsoleScreenBufferInfo(screen_.Get(), &info))
            return rows;
        std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
        for (SHORT y = 0; y < info.dwCursorPosition.Y; ++y) {
            DWORD read = 0;
            ReadConsoleOutputCharacterW(screen_.Get(), row.data(), info.dwSize.X, COORD{0, y}, &read);
            const std::wstring text = row.substr(0, read);
            rows.push_back(Utf8(text.substr(0, text.find_last_not_of(L' ') + 1)));
        }
        DWORD written = 0;
        FillConsoleOutputCharacterW(screen_.Get(), L' ', static_cast<DWORD>(info.dwSize.X) * info.dwSize.Y, COORD{0, 0},
                                    &written);
        SetConsoleCursorPosition(screen_.Get(), COORD{0, 0});
        return rows;
    }

private:
    bool allocated_ = false;
    bool resized_ = false;
    platform::UniqueHandle screen_;
};

// The program with `commandLine` after its name, writing to `console`;
// its exit code, or nullopt when it did not end in time.
std::optional<DWORD> RunOnConsole(const OwnConsole& console, const std::wstring& commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = console.Screen();
    startup.hStdError = console.Screen();
    const std::wstring program = platform::Utf8ToWide(TestProgramFolder() + "quenor-cleaner-cli.exe");
    std::wstring line = L"\"" + program + L"\" " + commandLine;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start the program: " << GetLastError();
        return std::nullopt;
    }
    const platform::UniqueHandle child(process.hProcess);
    CloseHandle(process.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(child.Get(), 120000) != WAIT_OBJECT_0 || !GetExitCodeProcess(child.Get(), &code)) {
        TerminateProcess(child.Get(), 1);
        return std::nullopt;
    }
    return code;
}

TEST(WinConsoleOutput, TheLinesStandOnTheConsoleAsWritten)
{
    TempDir dir;
    const std::string folder = dir.Path() + "\\Базы";
    ASSERT_TRUE(CreateDirectoryW(platform::Utf8ToWide(folder).c_str(), nullptr));
    const std::wstring database = platform::Utf8ToWide(folder + "\\MAIN.fdb");
    // Another program holds the journal: the run is refused with a Russian
    // message and the journal's Cyrillic path, before anything else.
    const platform::UniqueHandle held(CreateFileW((database + L".quenor-journal").c_str(), GENERIC_READ | GENERIC_WRITE,
                                                  0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.Valid());
    OwnConsole console;
    ASSERT_TRUE(console.Ready()) << GetLastError();
    const struct {
        const char* name;
        std::wstring commandLine;
        DWORD exitCode;
        std::vector<std::string> rows;
    } cases[] = {
        {"the version", L"--version", 0, {"quenor-cleaner 1.0.0.0"}},
        {"refused: a Russian message and a Cyrillic path",
         L"--database \"" + database + L"\" --keep-days 7",
         1,
         {"Журнал очистки открыт другой программой (например, антивирусом или программой резервного копирования), "
          "а не другим запуском этой программы. Повторите очистку, когда она его закроет:",
          folder + "\\MAIN.fdb.quenor-journal"}},
        {"a usage error, on standard error",
         L"--database \"" + database + L"\" --keep-days семь",
         64,
         {"quenor-cleaner: --keep-days needs a whole number of days from 0 to 36600: 'семь' (see --help)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RunOnConsole(console, c.commandLine), c.exitCode);
        EXPECT_EQ(console.TakeRows(), c.rows);
    }
}

}  // namespace
