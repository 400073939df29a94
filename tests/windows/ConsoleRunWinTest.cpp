// quenor-cleaner-cli.exe as the Task Scheduler or a script starts it, its
// output redirected to files: its exit codes, and its lines in UTF-8 with
// CR LF, Russian messages and Cyrillic paths alike. No Firebird client is
// found here, so the runs end at the database step.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/CoreTextWin.h"
#include "platform/UniqueHandleWin.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"

namespace {

struct Ended {
    std::optional<DWORD> exitCode;  // nullopt: it did not end in time
    std::string output, errors;     // the bytes written
};

platform::UniqueHandle Inheritable(const std::wstring& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return platform::UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The program with `commandLine` after its name (UTF-16, as a script has
// it), standard output and error into files of their own in `dir`: the
// console the system makes for the program may keep the last ones open a
// moment longer.
Ended RunCli(const TempDir& dir, const std::wstring& commandLine)
{
    static int runs = 0;
    const std::wstring base = std::wstring(dir.Path().begin(), dir.Path().end()) + L"\\" + std::to_wstring(++runs);
    const std::wstring out = base + L".out";
    const std::wstring err = base + L".err";
    Ended ended;
    {
        platform::UniqueHandle output = Inheritable(out);
        platform::UniqueHandle errors = Inheritable(err);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output.Get();
        startup.hStdError = errors.Get();
        const std::string program = TestProgramFolder() + "quenor-cleaner-cli.exe";
        std::wstring line = L"\"" + std::wstring(program.begin(), program.end()) + L"\" " + commandLine;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                            &process)) {
            ADD_FAILURE() << "cannot start " << program << ": " << GetLastError();
            return ended;
        }
        const platform::UniqueHandle child(process.hProcess);
        CloseHandle(process.hThread);
        DWORD code = 0;
        if (WaitForSingleObject(child.Get(), 120000) == WAIT_OBJECT_0 && GetExitCodeProcess(child.Get(), &code))
            ended.exitCode = code;
        else
            TerminateProcess(child.Get(), 1);
    }
    ended.output = Content(std::string(out.begin(), out.end())).value_or("");
    ended.errors = Content(std::string(err.begin(), err.end())).value_or("");
    return ended;
}

TEST(WinConsoleRun, ExitCodesAndUtf8LinesForAScheduler)
{
    TempDir dir;
    // A Cyrillic folder: its name reaches the run in Windows-1251 and the
    // log in UTF-8.
    const std::wstring folder = platform::Utf8ToWide(dir.Path() + "\\Базы");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring database = folder + L"\\MAIN.fdb";
    {
        const platform::UniqueHandle file(
            CreateFileW(database.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.Get(), "pretend database", 16, &written, nullptr));
    }
    // A Firebird with its gbak, and no client anywhere.
    StandInGbak gbak(dir.Path() + "\\Firebird", {"ok", "ok"}, StandInGbak::Layout::Root);
    TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));
    const std::string journalUtf8 = dir.Path() + "\\Базы\\MAIN.fdb.quenor-journal";
    const struct {
        const char* name;
        std::wstring commandLine;
        bool holdJournal;
        DWORD exitCode;
        std::string output;  // UTF-8
        const char* inErrors;
    } cases[] = {
        {"the version", L"--version", false, 0, "quenor-cleaner 1.0.0.0\r\n", ""},
        {"a day that does not exist", L"--database \"" + database + L"\" --before 2026-02-30", false, 64, "",
         "see --help"},
        {"no client: the database as it was", L"--database \"" + database + L"\" --keep-days 7", false, 2,
         "Сохранение оригинального файла БД (*.fdb -> *.bak)...\r\n...Ok\r\n"
         "An exception occured during open database.\r\nОшибка открытия файла БД!\r\n"
         "Не удалось загрузить клиентскую библиотеку Firebird: проверьте установку Firebird и переменную "
         "FIREBIRD.\r\n",
         ""},
        {"its journal held by another program: refused, the path in UTF-8",
         L"--database \"" + database + L"\" --before 2000-01-01", true, 1,
         "Журнал очистки открыт другой программой (например, антивирусом или программой резервного копирования), а "
         "не другим запуском этой программы. Повторите очистку, когда она его закроет:\r\n" +
             journalUtf8 + "\r\n",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<platform::UniqueHandle> held;
        if (c.holdJournal) {
            held.emplace(CreateFileW((database + L".quenor-journal").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(held->Valid());
        }

        const Ended ended = RunCli(dir, c.commandLine);

        EXPECT_EQ(ended.exitCode, c.exitCode) << ended.errors;
        EXPECT_EQ(ended.output, c.output);
        EXPECT_NE(ended.errors.find(c.inErrors), std::string::npos) << ended.errors;
        held.reset();
        DeleteFileW((database + L".quenor-journal").c_str());
    }
}

}  // namespace
