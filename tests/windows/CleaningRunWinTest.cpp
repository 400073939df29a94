// Whole cleaning runs on Windows' own calls: ReadFile/WriteFile copies, DeleteFileW,
// MoveFileW, Wine's registry, CreateProcessA with the stand-in gbak.exe, and
// LoadLibraryA finding no Firebird client.
#include "clean/CleaningRun.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "clean/SharedStrings.h"
#include "tests/support/FileBytes.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"

namespace {

using Events = RecordingHost::Events;
using namespace run_events;

const std::string DatabaseBytes = std::string("pretend database\0\r\n\x1a", 20);
const std::string NoClientLine =
    "red Не удалось загрузить клиентскую библиотеку Firebird: проверьте установку Firebird и переменную FIREBIRD.";

class WinCleaningRun : public testing::Test {
protected:
    void SetUp() override
    {
        host.path = base + "\\MAIN.fdb";
        DBFileName = host.path;
        CreateDirectoryA(base.c_str(), nullptr);
        WriteFileBytes(host.path, DatabaseBytes);
    }
    void TearDown() override { DBFileName.clear(); }

    void Run()
    {
        CleaningRun run(host, *files, *processes, PlatformInstallationFinder(),
                        platform::FirebirdClientLibraryNames());
        run.RunCleaning();
    }

    TempDir dir;
    std::string base = dir.Path() + "\\Base";
    std::string bak = base + "\\MAIN.bak";
    std::string fdk = base + "\\MAIN.fdk";
    RecordingHost host;
    std::unique_ptr<platform::FileSystem> files = platform::CreateFileSystem();
    std::unique_ptr<platform::ProcessRunner> processes = platform::CreateProcessRunner();
};

TEST_F(WinCleaningRun, CompactionOutcomesLeaveTheFilesTheRunPromises)
{
    const struct {
        const char* name;
        std::vector<std::string> script;
        Events tail;  // after the safety copy's lines
        std::optional<std::string> database, safetyCopy, backup;
    } cases[] = {
        {"done", {"ok", "ok"}, {BackingUp, Ok, Restoring, Ok, "uncheck", Done, Normal},
         DatabaseBytes, DatabaseBytes, DatabaseBytes},
        {"restore broke off half-way", {"ok", "scribble 1"},
         {BackingUp, Ok, Restoring, Normal, "red Не удалось восстановить (*.fdk -> *.fdb)!",
          "red Оригинальный файл БД возвращён на место:", "red " + host.path},
         DatabaseBytes,
         std::nullopt, std::nullopt},
        {"backup failed", {"exit 0x80000001"},
         {BackingUp, Normal, "red Не удалось произвести бэкап (*.fdb -> *.fdk)!"}, DatabaseBytes, std::nullopt,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(host.path, DatabaseBytes);
        host.events.clear();
        host.skip = true;
        DeleteFileA(bak.c_str());
        DeleteFileA(fdk.c_str());
        StandInGbak gbak(dir.Path() + "\\Firebird " + std::to_string(&c - cases), c.script);
        TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));

        Run();

        Events expected = {Busy, "clear", Saving, Ok};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(host.events, expected);
        EXPECT_EQ(Content(host.path), c.database);
        EXPECT_EQ(Content(bak), c.safetyCopy);
        EXPECT_EQ(Content(fdk), c.backup);
    }
}

TEST_F(WinCleaningRun, NoFirebirdClientEndsInTheOpenFailureAndTheRollback)
{
    // Neither gds32.dll nor fbclient.dll exists under Wine.
    StandInGbak gbak(dir.Path() + "\\Firebird", {"ok"});
    TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));

    Run();

    EXPECT_EQ(host.events, (Events{Busy, "clear", Saving, Ok, "red An exception occured during open database.",
                                   Normal, "red Ошибка открытия файла БД!", NoClientLine}));
    EXPECT_EQ(Content(host.path), DatabaseBytes);
    EXPECT_EQ(Content(bak), std::nullopt);
    EXPECT_TRUE(gbak.Calls().empty());
}

// Without a client nothing can tell whether the file at the path is a
// database, so the copies of an earlier run may be the only good ones.
TEST_F(WinCleaningRun, NoFirebirdClientKeepsTheLeftoversOfAnEarlierRun)
{
    StandInGbak gbak(dir.Path() + "\\Firebird", {"ok"});
    TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));
    WriteFileBytes(bak, "old safety copy");
    WriteFileBytes(fdk, "old backup");
    host.skip = true;

    Run();

    EXPECT_EQ(host.events, (Events{Busy, "clear", Normal, NoClientLine}));
    EXPECT_EQ(Content(host.path), DatabaseBytes);
    EXPECT_EQ(Content(bak), "old safety copy");
    EXPECT_EQ(Content(fdk), "old backup");
    EXPECT_TRUE(gbak.Calls().empty());
}

// The system's search path with one more folder in front, for as long as
// it lives: where a stale client left by an older installation is found.
class SearchPathWith {
public:
    explicit SearchPathWith(const std::string& folder)
    {
        std::string old(32767, '\0');
        old.resize(GetEnvironmentVariableA("PATH", old.data(), static_cast<DWORD>(old.size())));
        old_ = old;
        SetEnvironmentVariableA("PATH", (folder + ";" + old_).c_str());
    }
    ~SearchPathWith() { SetEnvironmentVariableA("PATH", old_.c_str()); }
    SearchPathWith(const SearchPathWith&) = delete;
    SearchPathWith& operator=(const SearchPathWith&) = delete;

private:
    std::string old_;
};

// Each Firebird version's installation, as its installer lays it out, serves
// a whole run with its own gbak and its own client, which the support log
// names; a stale client elsewhere on the search path is not the one used.
TEST_F(WinCleaningRun, EachFirebirdLayoutEndsDoneWithItsOwnClientAndGbak)
{
    const Events done = {Busy, "clear", Saving, Ok, Deleting, Ok, BackingUp, Ok, Restoring, Ok, "uncheck", Done,
                         Normal};
    const struct {
        const char* name;
        StandInGbak::Layout layout;
        const char* client;  // inside the installation; nullptr: none there
        bool closingBackslash;
        bool staleClientOnPath;
        Events events;
    } cases[] = {
        {"2.5: gbak in Bin, its client in bin, a stale gds32.dll on the path", StandInGbak::Layout::Bin,
         "bin\\fbclient.dll", true, true, done},
        {"3.0, 4.0, 5.0: gbak and client in the root, no client on the path", StandInGbak::Layout::Root,
         "fbclient.dll", true, false, done},
        {"3.0 and later beside a stale gds32.dll on the path", StandInGbak::Layout::Root, "fbclient.dll", true, true,
         done},
        {"a value without its closing backslash", StandInGbak::Layout::Root, "fbclient.dll", false, false, done},
        // That the stale client on the path is found and refuses, when the
        // installation offers none.
        {"control: the stale client alone", StandInGbak::Layout::Root, nullptr, true, true,
         {Busy, "clear", Saving, Ok, "red An exception occured during open database.", Normal,
          "red Ошибка открытия файла БД!",
          "red Причина не в файле БД: клиент Firebird не смог подключиться к нему (проверьте установку Firebird, "
          "переменную FIREBIRD и учётную запись SYSDBA)."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string index = std::to_string(&c - cases);
        WriteFileBytes(host.path, DatabaseBytes);
        DeleteFileA(bak.c_str());
        DeleteFileA(fdk.c_str());
        host.events.clear();
        const std::string installation = dir.Path() + "\\Firebird " + index;
        StandInGbak gbak(installation, {"ok", "ok"}, c.layout);
        const std::string client = c.client ? installation + "\\" + c.client : "";
        if (c.client)
            PlaceStandInClient(client);
        std::optional<SearchPathWith> searchPath;
        if (c.staleClientOnPath) {
            const std::string system = dir.Path() + "\\System32 " + index;
            PlaceStandInClient(system + "\\gds32.dll", true);
            searchPath.emplace(system);
        }
        TestInstancesKey key(StringValue(REG_SZ, c.closingBackslash ? gbak.InstallationDirectory() : installation));

        testing::internal::CaptureStderr();
        Run();
        const std::string supportLog = testing::internal::GetCapturedStderr();

        EXPECT_EQ(host.events, c.events);
        if (!c.client)
            continue;
        EXPECT_NE(supportLog.find("quenor-cleaner: Firebird client: " + client +
                                  ", version WI-V0.0.0.0 Firebird stand-in\n"),
                  std::string::npos)
            << supportLog;
        EXPECT_NE(supportLog.find("quenor-cleaner: gbak: " + gbak.ProgramPath() + "\n"), std::string::npos)
            << supportLog;
        EXPECT_EQ(gbak.Calls().size(), 2u);
    }
}

// A gbak killed from outside may exit 0 (Wine reports it so) on a
// half-written database: the run judges the restore by what it holds too,
// and puts the original back.
TEST_F(WinCleaningRun, AHalfWrittenRestoreThatExitsZeroIsNotDone)
{
    const std::string installation = dir.Path() + "\\Firebird";
    StandInGbak gbak(installation, {"ok", "scribble 0"}, StandInGbak::Layout::Root);
    PlaceStandInClient(installation + "\\fbclient.dll");
    TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));

    Run();

    EXPECT_EQ(host.events, (Events{Busy, "clear", Saving, Ok, Deleting, Ok, BackingUp, Ok, Restoring, Normal,
                                   "red Не удалось восстановить (*.fdk -> *.fdb)!",
                                   "red Оригинальный файл БД возвращён на место:", "red " + host.path}));
    EXPECT_EQ(Content(host.path), DatabaseBytes);
    EXPECT_EQ(gbak.Calls().size(), 2u);
}

// What the run cannot do without is looked for before the safety copy: the
// database's folder is left byte for byte as it was, and the lines say what
// is missing and where it was looked for.
TEST_F(WinCleaningRun, MissingFirebirdToolsAreRefusedBeforeTheCopy)
{
    const std::string noTools = dir.Path() + "\\Firebird without tools";
    CreateDirectoryA(noTools.c_str(), nullptr);
    const std::string x86 = dir.Path() + "\\Firebird x86";
    StandInGbak gbak(x86, {"ok", "ok"}, StandInGbak::Layout::Root);
    PlaceThirtyTwoBitLibrary(x86 + "\\fbclient.dll");
    const struct {
        const char* name;
        std::optional<std::string> defaultInstance;  // nullopt: no key
        Events lines;
    } cases[] = {
        {"no key", std::nullopt, {"red Ключ Software\\Firebird Project\\Firebird Server\\Instances не найден!"}},
        {"no gbak anywhere", noTools,
         {"red Отсутствует файл gbak.exe!", "red Файл gbak искали здесь:", "red " + noTools + "\\Bin\\gbak.exe",
          "red " + noTools + "\\gbak.exe"}},
        {"only a client for 32-bit programs", x86 + "\\",
         {"red Клиентская библиотека Firebird этой установки 32-битная, а программа 64-битная. Запустите 32-битную "
          "версию программы. Библиотека:",
          "red " + x86 + "\\fbclient.dll"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.events.clear();
        std::optional<TestInstancesKey> key;
        if (c.defaultInstance)
            key.emplace(StringValue(REG_SZ, *c.defaultInstance));

        Run();

        Events expected = {Busy, "clear", Normal};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(host.events, expected);
        EXPECT_EQ(Content(host.path), DatabaseBytes);
        WIN32_FIND_DATAA found{};
        int files = 0;
        const HANDLE search = FindFirstFileA((base + "\\*").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        do {
            files += std::string(found.cFileName) == "." || std::string(found.cFileName) == ".." ? 0 : 1;
        } while (FindNextFileA(search, &found));
        FindClose(search);
        EXPECT_EQ(files, 1) << "nothing beside the database";
    }
    EXPECT_TRUE(gbak.Calls().empty());
}

}  // namespace
