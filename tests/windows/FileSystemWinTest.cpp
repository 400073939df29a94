// The file operations a run relies on, with Wine's real Win32 calls.
#include "platform/FileSystem.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/UniqueHandleWin.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

// Holds a file open the way an attached database is held: by default no
// sharing at all; a server may share reading and writing but never deletion.
class HeldFile {
public:
    explicit HeldFile(const std::string& path, DWORD share = 0)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    bool Held() const { return handle_.Valid(); }

private:
    platform::UniqueHandle handle_;
};

std::optional<std::string> Content(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return ReadFileBytes(path);
}

TEST(WinFileSystem, RenameAndDeleteNeverDestroyWhatTheyMustKeep)
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

TEST(WinFileSystem, CopyTellsWhyItWasRefusedAndLeavesEverythingElse)
{
    const std::string database = std::string("database\0bytes\r\n", 16);
    const std::string leftover = "leftover";
    const struct {
        const char* name;
        const char* source;
        const char* target;
        bool sourceHeld;  // without sharing, during the copy
        platform::FileError error;
        std::optional<std::string> fresh;  // "new" afterwards; nullopt: absent
    } cases[] = {
        {"to a new name every byte", "db", "new", false, platform::FileError::None, database},
        {"onto an existing file", "db", "bak", false, platform::FileError::TargetExists, std::nullopt},
        {"from a missing file", "missing", "new", false, platform::FileError::NotFound, std::nullopt},
        {"into a missing folder", "db", "missing\\new", false, platform::FileError::NotFound, std::nullopt},
        {"from a file held without sharing", "db", "new", true, platform::FileError::Held, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string root = dir.Path() + "\\";
        WriteFileBytes(root + "db", database);
        WriteFileBytes(root + "bak", leftover);
        auto files = platform::CreateFileSystem();

        std::optional<HeldFile> held;
        if (c.sourceHeld) {
            held.emplace(root + c.source);
            ASSERT_TRUE(held->Held());
        }
        EXPECT_EQ(files->Copy(root + c.source, root + c.target).error, c.error);
        held.reset();

        EXPECT_EQ(Content(root + "db"), database);
        EXPECT_EQ(Content(root + "bak"), leftover);
        EXPECT_EQ(Content(root + "new"), c.fresh);
    }
}

TEST(WinFileSystem, PutBackReplacesInOneStepOrChangesNothing)
{
    const std::string database = "database as the engine left it";
    const std::string copy = std::string("safety\0copy\r\n\x1a", 15);
    constexpr DWORD ServerSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const struct {
        const char* name;
        bool copyThere, dbThere;
        const char* held;  // held during the put-back
        DWORD sharing;
        platform::FileError error;
    } cases[] = {
        {"no file at the path: the copy takes its place", true, false, nullptr, 0, platform::FileError::None},
        {"a file nobody holds is replaced", true, true, nullptr, 0, platform::FileError::None},
        {"the file held without sharing", true, true, "db", 0, platform::FileError::Held},
        {"the file held with reading and writing shared", true, true, "db", ServerSharing, platform::FileError::Held},
        {"the copy held without sharing", true, true, "copy", 0, platform::FileError::Held},
        {"no copy", false, true, nullptr, 0, platform::FileError::NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string root = dir.Path() + "\\";
        if (c.copyThere)
            WriteFileBytes(root + "copy", copy);
        if (c.dbThere)
            WriteFileBytes(root + "db", database);
        auto files = platform::CreateFileSystem();
        const std::string copyBefore = files->Identity(root + "copy");
        const std::string dbBefore = files->Identity(root + "db");

        std::optional<HeldFile> held;
        if (c.held) {
            held.emplace(root + c.held, c.sharing);
            ASSERT_TRUE(held->Held());
        }
        EXPECT_EQ(files->PutBack(root + "copy", root + "db").error, c.error);
        held.reset();

        if (c.error == platform::FileError::None) {
            // Moved, not copied: the path now holds the copy's very file.
            EXPECT_EQ(Content(root + "db"), copy);
            EXPECT_EQ(files->Identity(root + "db"), copyBefore);
            EXPECT_EQ(Content(root + "copy"), std::nullopt);
        } else {
            // Not even rewritten with the same bytes.
            EXPECT_EQ(Content(root + "db"), c.dbThere ? std::optional(database) : std::nullopt);
            EXPECT_EQ(files->Identity(root + "db"), dbBefore);
            EXPECT_EQ(Content(root + "copy"), c.copyThere ? std::optional(copy) : std::nullopt);
            EXPECT_EQ(files->Identity(root + "copy"), copyBefore);
        }
    }
}

TEST(WinFileSystem, IdentityFollowsTheFileThroughRenamesAndNotToItsCopies)
{
    TempDir dir;
    const std::string root = dir.Path() + "\\";
    WriteFileBytes(root + "a", "the same bytes");
    auto files = platform::CreateFileSystem();

    const std::string original = files->Identity(root + "a");
    ASSERT_NE(original, "");
    // A copy carries the same size and time of last writing.
    ASSERT_TRUE(files->Copy(root + "a", root + "copy"));
    EXPECT_NE(files->Identity(root + "copy"), "");
    EXPECT_NE(files->Identity(root + "copy"), original);
    ASSERT_TRUE(files->Rename(root + "a", root + "b"));
    EXPECT_EQ(files->Identity(root + "b"), original);
    EXPECT_EQ(files->Identity(root + "a"), "");
    EXPECT_EQ(files->Identity(root + "missing\\a"), "");
    {
        // An interrupted run compares the database's identity while the
        // engine may hold it.
        HeldFile held(root + "b");
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(files->Identity(root + "b"), original);
    }
    // INVALID_FILE_ATTRIBUTES has the reparse-point bit set too.
    EXPECT_FALSE(files->IsLink(root + "b"));
    EXPECT_FALSE(files->IsLink(root + "a"));
}

TEST(WinFileSystem, LinksAreSeenAndDeletedThemselves)
{
    TempDir dir;
    const std::string root = dir.Path() + "\\";
    WriteFileBytes(root + "target", "what the link leads to");
    CreateDirectoryA((root + "folder").c_str(), nullptr);
    WriteFileBytes(root + "folder\\inside", "kept");
    const bool fileLink = CreateSymbolicLinkA((root + "link").c_str(), (root + "target").c_str(), 0);
    const bool folderLink =
        CreateSymbolicLinkA((root + "folder link").c_str(), (root + "folder").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    auto files = platform::CreateFileSystem();
    if (!fileLink || !folderLink || !files->Exists(root + "link") || !files->Exists(root + "folder link"))
        GTEST_SKIP() << "symbolic links cannot be made here (Wine makes none)";

    EXPECT_TRUE(files->IsLink(root + "link"));
    EXPECT_TRUE(files->IsLink(root + "folder link"));
    EXPECT_FALSE(files->IsLink(root + "target"));
    EXPECT_NE(files->Identity(root + "link"), files->Identity(root + "target"));
    EXPECT_TRUE(files->Delete(root + "link"));
    EXPECT_TRUE(files->Delete(root + "folder link"));
    EXPECT_FALSE(files->Exists(root + "link"));
    EXPECT_FALSE(files->Exists(root + "folder link"));
    EXPECT_EQ(Content(root + "target"), "what the link leads to");
    EXPECT_EQ(Content(root + "folder\\inside"), "kept");
}

}  // namespace
