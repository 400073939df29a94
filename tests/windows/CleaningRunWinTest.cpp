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

}  // namespace
