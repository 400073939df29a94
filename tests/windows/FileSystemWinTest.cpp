// The file operations a run relies on, with Wine's real Win32 calls.
#include "platform/FileSystem.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

// Holds a file open the way an attached database is held: no sharing.
class HeldFile {
public:
    explicit HeldFile(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~HeldFile() { CloseHandle(handle_); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

std::optional<std::string> Content(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return ReadFileBytes(path);
}

TEST(WinFileSystem, CopyRenameAndDeleteNeverDestroyWhatTheyMustKeep)
{
    // Every row starts from "db" and "bak" holding these bytes, no "new".
    const std::string database = std::string("database\0bytes\r\n", 16);
    const std::string leftover = "leftover";
    using Operation = std::function<bool(platform::FileSystem&, const std::string& root)>;
    const struct {
        const char* name;
        Operation operation;
        bool succeeds;
        std::optional<std::string> db, bak, fresh;  // afterwards; nullopt: absent
    } cases[] = {
        {"copy to a new name copies every byte",
         [](auto& fs, auto& root) { return static_cast<bool>(fs.Copy(root + "db", root + "new")); }, true, database, leftover, database},
        {"copy onto an existing file fails and leaves it",
         [](auto& fs, auto& root) { return static_cast<bool>(fs.Copy(root + "db", root + "bak")); }, false, database, leftover,
         std::nullopt},
        {"copy of a missing file fails",
         [](auto& fs, auto& root) { return static_cast<bool>(fs.Copy(root + "missing", root + "new")); }, false, database, leftover,
         std::nullopt},
        {"copy of a file held without sharing fails",
         [](auto& fs, auto& root) {
             HeldFile held(root + "db");
             EXPECT_TRUE(held.Held());
             return static_cast<bool>(fs.Copy(root + "db", root + "new"));
         },
         false, database, leftover, std::nullopt},
        {"rename to a new name",
         [](auto& fs, auto& root) { return fs.Rename(root + "bak", root + "new"); }, true, database, std::nullopt,
         leftover},
        {"rename onto an existing file fails and replaces nothing",
         [](auto& fs, auto& root) { return fs.Rename(root + "bak", root + "db"); }, false, database, leftover,
         std::nullopt},
        {"delete a file", [](auto& fs, auto& root) { return fs.Delete(root + "db"); }, true, std::nullopt,
         leftover, std::nullopt},
        {"delete a missing file is harmless",
         [](auto& fs, auto& root) { return fs.Delete(root + "missing"); }, false, database, leftover,
         std::nullopt},
        {"delete a file held without sharing fails",
         [](auto& fs, auto& root) {
             HeldFile held(root + "db");
             EXPECT_TRUE(held.Held());
             return fs.Delete(root + "db");
         },
         false, database, leftover, std::nullopt},
        {"an existing file exists", [](auto& fs, auto& root) { return fs.Exists(root + "bak"); }, true, database,
         leftover, std::nullopt},
        {"a missing file does not", [](auto& fs, auto& root) { return fs.Exists(root + "missing"); }, false,
         database, leftover, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string root = dir.Path() + "\\";
        WriteFileBytes(root + "db", database);
        WriteFileBytes(root + "bak", leftover);
        auto files = platform::CreateFileSystem();

        EXPECT_EQ(c.operation(*files, root), c.succeeds);
        EXPECT_EQ(Content(root + "db"), c.db);
        EXPECT_EQ(Content(root + "bak"), c.bak);
        EXPECT_EQ(Content(root + "new"), c.fresh);
    }
}

}  // namespace
