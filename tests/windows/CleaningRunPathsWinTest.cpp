// Which file a whole cleaning run on Windows reaches, and when it refuses to
// reach any: the names a path can take, other runs and other programs that
// hold the file or its journal, and what the copies may be read by. Through
// the real run, file system and journal under Wine, with the stand-in gbak
// and no Firebird client.
#include "clean/CleaningRun.h"

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "clean/CopyFingerprint.h"
#include "clean/JournalEntry.h"
#include "clean/WorkingNames.h"
#include "platform/RunJournal.h"
#include "platform/CoreTextWin.h"
#include "platform/UniqueHandleWin.h"
#include "platform/WideTextWin.h"
#include "tests/support/FileBytes.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"

namespace {

using Events = RecordingHost::Events;
using namespace run_events;

const std::string Original = "the operator's database";
const std::string HalfCleaned = "the database with some old rows deleted";
const std::string AnotherRun = "red Этот файл БД уже обрабатывается другим запуском программы!";
const std::string NotInCodePage =
    "red В пути к файлу БД есть буквы, которых нет в кодовой странице системы, и по такому пути можно попасть в "
    "другой файл. Переименуйте файл или папку так, чтобы в пути остались только латинские буквы и буквы языка "
    "системы, и выберите файл заново:";

bool WriteWide(const std::wstring& path, const std::string& bytes)
{
    const platform::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.Valid() && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string ReadWide(const std::wstring& path)
{
    const platform::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
    if (!file.Valid())
        return "<unreadable>";
    std::string bytes;
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), piece, sizeof piece, &got, nullptr) && got > 0)
        bytes.append(piece, got);
    return bytes;
}

// Every file below `root` with its bytes, and its read-only attribute: what
// "nothing changed" compares. The stand-in gbak's folder is the test's own.
using Snapshot = std::map<std::wstring, std::string>;
void TakeSnapshot(const std::wstring& root, Snapshot& snapshot)
{
    if (root.compare(root.find_last_of(L'\\') + 1, 8, L"Firebird") == 0)
        return;
    WIN32_FIND_DATAW entry{};
    const HANDLE listing = FindFirstFileW((root + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = root + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            TakeSnapshot(path, snapshot);
        else
            snapshot[path] = ReadWide(path) + ((entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? " [ro]" : "");
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
}
Snapshot SnapshotOf(const std::string& root)
{
    Snapshot snapshot;
    TakeSnapshot(platform::AnsiToWide(root), snapshot);
    return snapshot;
}

std::string ShortName(const std::string& path)
{
    char buffer[MAX_PATH * 2] = {};
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string Upper(std::string text)
{
    CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Q: is one more drive letter for C: in the tests' Wine prefix
// (scripts/wine-prefix.sh), as `subst` makes one on Windows.
constexpr const char* SecondDrive = "Q:";

// An access list only the system may change and the users may read, and
// one that lets everyone do anything, passed down to what a folder holds.
// Wine keeps of a list what the file's mode bits can say.
constexpr const char* NarrowAccess = "D:P(A;;FA;;;SY)(A;;FR;;;BU)";
constexpr const char* WideAccess = "D:P(A;OICI;FA;;;WD)";

class WinRunPaths : public testing::Test {
protected:
    void SetUp() override
    {
        // The letters the rows pick are missing from Windows-1251, or not.
        ASSERT_EQ(GetACP(), 1251u) << "run with LANG=ru_RU.UTF-8, as scripts/windows-tests.sh does";
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
        WriteFileBytes(database, Original);
    }

    // The run as the window starts it: the path as the edit holds it,
    // DBFileName the same.
    void Run(const std::string& path)
    {
        host.path = path;
        host.skip = true;
        StandInGbak gbak(installation + std::to_string(runs++), {"ok"});
        TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));
        CleaningRun run(host, *files, *processes, PlatformInstallationFinder(),
                        platform::FirebirdClientLibraryNames());
        run.RunCleaning();
        gbakRuns = gbak.Calls().size();
    }

    // What a row's run may have left goes; the database is as it was.
    void Tidy()
    {
        SetFileAttributesA(database.c_str(), FILE_ATTRIBUTE_NORMAL);
        for (const std::string& name : {journal, bak, base + "\\LongDatabaseName.fdk"})
            DeleteFileA(name.c_str());
        WriteFileBytes(database, Original);
    }

    TempDir dir;
    std::string installation = dir.Path() + "\\Firebird";
    std::string base = dir.Path() + "\\Base";
    std::string database = base + "\\LongDatabaseName.fdb";
    std::string bak = base + "\\LongDatabaseName.bak";
    std::string journal = JournalName(database);
    RecordingHost host;
    std::size_t gbakRuns = 0;
    int runs = 0;
    std::unique_ptr<platform::FileSystem> files = platform::CreateFileSystem();
    std::unique_ptr<platform::ProcessRunner> processes = platform::CreateProcessRunner();
};

// Each spelling names LongDatabaseName.fdb; the run takes the file's own
// name for its journal, its lock and its working files, so a run under any
// spelling finds what a run under any other left or holds.
TEST_F(WinRunPaths, EverySpellingOfTheDatabaseFindsTheDeadRunAndTheLiveOne)
{
    const std::string link = base + "\\Other.fdb";
    const struct {
        const char* name;
        std::function<std::string(const std::string& database)> spelling;
    } spellings[] = {
        {"a trailing dot", [](const std::string& db) { return db + "."; }},
        {"a trailing blank", [](const std::string& db) { return db + " "; }},
        {"the 8.3 name", [](const std::string& db) { return ShortName(db); }},
        {"other letter case", [](const std::string& db) { return Upper(db); }},
        {"a second drive letter", [](const std::string& db) { return SecondDrive + db.substr(2); }},
        {"a hard link", [&](const std::string&) { return link; }},
    };
    const std::string keptLine = "red Файл, который был на месте БД, сохранён как:";
    const std::string backLine = "red Оригинальный файл БД возвращён на место:";
    const std::string otherNameLine =
        "red Предыдущая очистка этого файла БД под другим именем была прервана. Запустите очистку для файла с этим "
        "именем:";
    ASSERT_EQ(files->Identity(std::string(SecondDrive) + "\\"), files->Identity("C:\\"))
        << "the Wine prefix needs drive Q: for C: (scripts/wine-prefix.sh)";

    for (const auto& s : spellings) {
        // A put-back makes the database a file of its own again.
        DeleteFileA(link.c_str());
        ASSERT_TRUE(CreateHardLinkA(link.c_str(), database.c_str(), nullptr));
        const std::string spelt = s.spelling(database);
        ASSERT_FALSE(spelt.empty()) << s.name;
        const bool hardLink = spelt == link;
        {
            SCOPED_TRACE(std::string(s.name) + ", a run that died while deleting rows");
            // It had made its copy and said so, then changed the file in place.
            WriteFileBytes(bak, Original);
            const std::string fingerprint = Fingerprint(*files, bak);
            ASSERT_FALSE(fingerprint.empty());
            WriteFileBytes(journal, WriteJournalEntry({RunStage::Changing, fingerprint}));
            WriteFileBytes(database, HalfCleaned);
            host.events.clear();

            Run(spelt);

            if (hardLink) {
                // The other name's copy is that name's to put back.
                EXPECT_EQ(host.events, (Events{Busy, "clear", Normal, otherNameLine, "red " + database}));
                EXPECT_EQ(Content(database), HalfCleaned);
                EXPECT_EQ(Content(bak), Original);
                EXPECT_EQ(ReadJournalEntry(Content(journal).value_or("")).stage, RunStage::Changing);
                EXPECT_EQ(Content(JournalName(link)), std::nullopt);
                EXPECT_EQ(Content(base + "\\Other.bak"), std::nullopt);
            } else {
                const std::string kept = host.events.size() == 8 ? host.events[5].substr(4) : "<none>";
                EXPECT_EQ(host.events,
                          (Events{Busy, "clear", Normal, "red Предыдущая очистка этого файла БД была прервана!",
                                  keptLine, "red " + kept, backLine, "red " + database}));
                EXPECT_EQ(kept.rfind(database + ".quenor-kept-", 0), 0u) << kept;
                EXPECT_EQ(Content(kept), HalfCleaned);
                DeleteFileA(kept.c_str());
                EXPECT_EQ(Content(database), Original);
                EXPECT_EQ(Content(bak), std::nullopt);
                EXPECT_EQ(Content(journal), std::nullopt);
            }
            EXPECT_EQ(gbakRuns, 0u);
            Tidy();
        }
        {
            SCOPED_TRACE(std::string(s.name) + ", a run under way");
            WriteFileBytes(database, Original);
            // The live run holds its lock as a run on the file's own name does.
            const platform::JournalClaim live = platform::ClaimRunJournal(journal, files->Identity(database));
            ASSERT_EQ(live.outcome, platform::ClaimOutcome::Claimed);
            const Snapshot before = SnapshotOf(dir.Path());
            host.events.clear();

            Run(spelt);

            EXPECT_EQ(host.events, (Events{Busy, "clear", Normal, AnotherRun}));
            EXPECT_EQ(SnapshotOf(dir.Path()), before);
            EXPECT_EQ(gbakRuns, 0u);
        }
        Tidy();
    }
}

// Each of these would have the run reach another file, copy a file as it
// changes, or end with a file it cannot replace: the run says why and
// changes nothing, in any folder.
TEST_F(WinRunPaths, APathThatCannotBeCleanedSafelyIsRefusedBeforeAnythingChanges)
{
    const std::string lookAlike = dir.Path() + "\\Cafe";
    const std::wstring accented = platform::AnsiToWide(dir.Path()) + platform::Utf8ToWide("\\Café");
    const std::wstring greek = platform::AnsiToWide(dir.Path()) + platform::Utf8ToWide("\\Βάση");
    const auto notReplaceable = [&](const std::string& cause) {
        return Events{Busy, "clear", Normal, "red Файл БД нельзя удалить и заменить восстановленным: " + cause,
                      "red " + database};
    };
    struct Held {
        std::optional<platform::UniqueHandle> handle;
    };
    const struct {
        const char* name;
        // Makes what the row needs; returns the path the window hands over.
        std::function<std::string(Held&)> arrange;
        std::function<Events(const std::string& path)> expected;
    } cases[] = {
        {"a letter the code page has only a look-alike for (é), with the look-alike's folder beside",
         [&](Held&) {
             CreateDirectoryA(lookAlike.c_str(), nullptr);
             WriteFileBytes(lookAlike + "\\X.fdb", "the other database");
             CreateDirectoryW(accented.c_str(), nullptr);
             WriteWide(accented + L"\\X.fdb", Original);
             return platform::WideToAnsi(accented + L"\\X.fdb");
         },
         [&](const std::string& path) {
             return Events{Busy, "clear", Normal, NotInCodePage, "red " + path};
         }},
        {"letters the code page has nothing for",
         [&](Held&) {
             CreateDirectoryW(greek.c_str(), nullptr);
             WriteWide(greek + L"\\X.fdb", Original);
             return platform::WideToAnsi(greek + L"\\X.fdb");
         },
         [&](const std::string& path) {
             return Events{Busy, "clear", Normal, NotInCodePage, "red " + path};
         }},
        {"such a folder reached by its 8.3 name",
         [&](Held&) {
             CreateDirectoryW(greek.c_str(), nullptr);
             WriteWide(greek + L"\\X.fdb", Original);
             wchar_t shortName[MAX_PATH * 2] = {};
             GetShortPathNameW((greek + L"\\X.fdb").c_str(), shortName, MAX_PATH * 2);
             const std::optional<std::string> ansi = platform::ExactAnsi(shortName);
             return ansi.value_or("<no short name>");
         },
         [&](const std::string& path) {
             return Events{Busy, "clear", Normal, NotInCodePage, "red " + path};
         }},
        {"a database another process writes, sharing everything",
         [&](Held& held) {
             held.handle.emplace(CreateFileA(database.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
             return database;
         },
         [&](const std::string&) {
             return Events{Busy,   "clear",          Saving,
                           Normal, "red Неудача...", "red Причина: файл занят другим процессом."};
         }},
        {"a database another process writes, sharing reading only",
         [&](Held& held) {
             held.handle.emplace(
                 CreateFileA(database.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
             return database;
         },
         [&](const std::string&) { return notReplaceable("файл занят другим процессом:"); }},
        {"a read-only database",
         [&](Held&) {
             SetFileAttributesA(database.c_str(), FILE_ATTRIBUTE_READONLY);
             return database;
         },
         [&](const std::string&) {
             return notReplaceable("у файла установлен атрибут «только чтение». Снимите его в свойствах файла:");
         }},
        {"its journal held by another program",
         [&](Held& held) {
             WriteFileBytes(journal, "");
             held.handle.emplace(CreateFileA(journal.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
             return database;
         },
         [&](const std::string&) {
             return Events{Busy, "clear", Normal,
                           "red Журнал очистки открыт другой программой (например, антивирусом или программой "
                           "резервного копирования), а не другим запуском этой программы. Повторите очистку, когда она "
                           "его закроет:",
                           "red " + journal};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Held held;
        const std::string path = c.arrange(held);
        if (held.handle) {
            EXPECT_TRUE(held.handle->Valid());
        }
        const Snapshot before = SnapshotOf(dir.Path());
        host.events.clear();

        Run(path);

        EXPECT_EQ(host.events, c.expected(path));
        EXPECT_EQ(SnapshotOf(dir.Path()), before);
        EXPECT_EQ(gbakRuns, 0u);
        held.handle.reset();
        Tidy();
    }
}

// A path near MAX_PATH: the journal and a name kept aside are longer still,
// and every one of them works; only a database path that Firebird itself
// could not check afterwards is refused.
TEST_F(WinRunPaths, APathNearMaxPathRunsWithItsLongerJournalOrIsRefusedUpFront)
{
    const std::size_t suffix = std::string(".quenor-journal").size();
    const struct {
        const char* name;
        std::size_t length;  // of the whole database path
        bool done;
    } cases[] = {
        {"the journal's name just under MAX_PATH", MAX_PATH - 1 - suffix, true},
        {"the journal's name just over MAX_PATH", MAX_PATH + 1 - suffix, true},
        {"the longest database path Firebird reports", 255, true},
        {"one letter longer", 256, false},
        {"longer than the name Wine reports for an open file", 265, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = base + "\\";
        std::string path = folder + std::string(c.length - folder.size() - 4, 'x') + ".fdb";
        ASSERT_EQ(path.size(), c.length);
        WriteWide(platform::WidePath(path), Original);
        const Snapshot before = SnapshotOf(dir.Path());
        host.events.clear();

        Run(path);

        Snapshot after = before;
        if (c.done) {
            EXPECT_EQ(host.events,
                      (Events{Busy, "clear", Saving, Ok, BackingUp, Ok, Restoring, Ok, "uncheck", Done, Normal}));
            EXPECT_EQ(gbakRuns, 2u);
            // The safety copy and gbak's backup stay, as after every run.
            after[platform::AnsiToWide(path.substr(0, path.size() - 4) + ".bak")] = Original;
            after[platform::AnsiToWide(path.substr(0, path.size() - 4) + ".fdk")] = Original;
        } else {
            EXPECT_EQ(host.events,
                      (Events{Busy, "clear", Normal,
                              "red Путь к файлу БД длиннее 255 знаков: Firebird не сможет проверить базу после "
                              "восстановления. Перенесите файл БД в папку с более коротким путём."}));
            EXPECT_EQ(gbakRuns, 0u);
        }
        const Snapshot now = SnapshotOf(dir.Path());
        for (const auto& [name, bytes] : now)
            EXPECT_EQ(after.count(name), 1u) << "new: " << platform::WideToAnsi(name);
        for (const auto& [name, bytes] : after)
            EXPECT_EQ(now.count(name) ? now.at(name) : "<gone>", bytes) << platform::WideToAnsi(name);
        DeleteFileW(platform::WidePath(path).c_str());
        DeleteFileW(platform::WidePath(path.substr(0, path.size() - 4) + ".fdk").c_str());
        DeleteFileW(platform::WidePath(path.substr(0, path.size() - 4) + ".bak").c_str());
    }
}

// The safety copy, the backup and the restored database hold every row, so
// none may be open to more users than the database was.
TEST_F(WinRunPaths, TheCopiesAndTheRestoredDatabaseCarryTheDatabasesAccess)
{
    ASSERT_TRUE(SetDacl(base, WideAccess));
    WriteFileBytes(base + "\\plain", "made the usual way");
    ASSERT_TRUE(SetDacl(database, NarrowAccess));
    const std::string narrow = DaclText(database);
    ASSERT_FALSE(narrow.empty());
    ASSERT_NE(narrow, DaclText(base + "\\plain")) << "the comparison below would prove nothing";
    std::map<std::string, std::string> seen;
    host.afterTrace = [&](TColor) {
        if (host.events.back() == Restoring) {
            seen["bak"] = DaclText(bak);
            seen["fdk"] = DaclText(base + "\\LongDatabaseName.fdk");
        }
    };

    Run(database);

    ASSERT_EQ(host.events.back(), Normal);
    EXPECT_EQ(host.events[host.events.size() - 2], Done);
    EXPECT_EQ(seen["bak"], narrow);
    EXPECT_EQ(seen["fdk"], narrow);
    EXPECT_EQ(DaclText(database), narrow);
    EXPECT_EQ(Content(database), Original);
}

}  // namespace
