// The file operations a run relies on, with Wine's real Win32 calls.
#include "platform/FileSystem.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/FileAttributesWin.h"
#include "platform/UniqueHandleWin.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/windows/WindowsTestSupport.h"

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

bool ReadOnly(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Every byte value, NULs and line ends among them, in no short period.
std::string Bytes(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 4099) & 0xff);
    return bytes;
}

bool WriteInto(const std::string& path, const std::string& bytes)
{
    const platform::UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.Valid() && SetFilePointer(file.Get(), 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
           WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
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
         [](auto& fs, auto& root) { return static_cast<bool>(fs.Rename(root + "bak", root + "new")); }, true, database,
         std::nullopt, leftover},
        {"rename onto an existing file fails and replaces nothing",
         [](auto& fs, auto& root) { return static_cast<bool>(fs.Rename(root + "bak", root + "db")); }, false, database,
         leftover, std::nullopt},
        {"delete a file", [](auto& fs, auto& root) { return static_cast<bool>(fs.Delete(root + "db")); }, true,
         std::nullopt, leftover, std::nullopt},
        {"delete a missing file is harmless",
         [](auto& fs, auto& root) { return static_cast<bool>(fs.Delete(root + "missing")); }, false, database, leftover,
         std::nullopt},
        {"delete a file held without sharing fails",
         [](auto& fs, auto& root) {
             HeldFile held(root + "db");
             EXPECT_TRUE(held.Held());
             return static_cast<bool>(fs.Delete(root + "db"));
         },
         false, database, leftover, std::nullopt},
        {"an existing file exists", [](auto& fs, auto& root) { return fs.Exists(root + "bak"); }, true, database,
         leftover, std::nullopt},
        {"a missing file does not", [](auto& fs, auto& root) { return fs.Exists(root + "missing"); }, false, database,
         leftover, std::nullopt},
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
        std::optional<DWORD> sourceHeld;  // opened for writing during the copy, sharing this
        bool sourceReadOnly;              // the copy is read-only too, and still flushed
        platform::FileError error;
        std::optional<std::string> fresh;  // "new" afterwards; nullopt: absent
    } cases[] = {
        {"to a new name every byte", "db", "new", std::nullopt, false, platform::FileError::None, database},
        {"from a read-only file", "db", "new", std::nullopt, true, platform::FileError::None, database},
        {"onto an existing file", "db", "bak", std::nullopt, false, platform::FileError::TargetExists, std::nullopt},
        {"from a missing file", "missing", "new", std::nullopt, false, platform::FileError::NotFound, std::nullopt},
        {"into a missing folder", "db", "missing\\new", std::nullopt, false, platform::FileError::NotFound,
         std::nullopt},
        {"from a file held without sharing", "db", "new", 0, false, platform::FileError::Held, std::nullopt},
        // A server or the product writing while it is copied would leave a
        // copy of no one moment: refused however much the writer shares.
        {"from a file another process writes, sharing all", "db", "new",
         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false, platform::FileError::Held, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string root = dir.Path() + "\\";
        WriteFileBytes(root + "db", database);
        WriteFileBytes(root + "bak", leftover);
        if (c.sourceReadOnly) {
            ASSERT_TRUE(SetFileAttributesA((root + c.source).c_str(), FILE_ATTRIBUTE_READONLY));
        }
        auto files = platform::CreateFileSystem();

        std::optional<HeldFile> held;
        if (c.sourceHeld) {
            held.emplace(root + c.source, *c.sourceHeld);
            ASSERT_TRUE(held->Held());
        }
        EXPECT_EQ(files->Copy(root + c.source, root + c.target).error, c.error);
        held.reset();

        EXPECT_EQ(Content(root + "db"), database);
        EXPECT_EQ(Content(root + "bak"), leftover);
        EXPECT_EQ(Content(root + "new"), c.fresh);
        EXPECT_EQ(ReadOnly(root + "new"), c.sourceReadOnly);
        // The folder goes with the test only once nothing in it is read-only.
        SetFileAttributesA((root + "db").c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesA((root + "new").c_str(), FILE_ATTRIBUTE_NORMAL);
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
    // The same bytes in another file.
    ASSERT_TRUE(files->Copy(root + "a", root + "copy"));
    EXPECT_NE(files->Identity(root + "copy"), "");
    EXPECT_NE(files->Identity(root + "copy"), original);
    // A database is written into while the run compares it: its size and
    // time of last writing change, the file does not.
    Sleep(20);
    ASSERT_TRUE(WriteInto(root + "a", " and some more"));
    EXPECT_EQ(files->Identity(root + "a"), original);
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
    EXPECT_EQ(files->KindOf(root + "link"), platform::PathKind::Link);
    EXPECT_EQ(files->KindOf(root + "folder link"), platform::PathKind::Link);
    EXPECT_FALSE(files->IsLink(root + "target"));
    EXPECT_NE(files->Identity(root + "link"), files->Identity(root + "target"));
    EXPECT_TRUE(files->Delete(root + "link"));
    EXPECT_TRUE(files->Delete(root + "folder link"));
    EXPECT_FALSE(files->Exists(root + "link"));
    EXPECT_FALSE(files->Exists(root + "folder link"));
    EXPECT_EQ(Content(root + "target"), "what the link leads to");
    EXPECT_EQ(Content(root + "folder\\inside"), "kept");
}

// Wine makes no links, so the test above is skipped there: what a link's
// attributes make of a path is checked on the bits themselves, as real
// Windows reports them.
TEST(WinFileSystem, AttributesTellLinksFromFilesFoldersAndNothing)
{
    constexpr DWORD Link = FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD Folder = FILE_ATTRIBUTE_DIRECTORY;
    constexpr DWORD Marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const struct {
        const char* name;
        DWORD attributes;
        DWORD lookupError;  // GetLastError() after the attributes were asked for
        platform::PathKind kind;
        bool link, folderLink;
    } cases[] = {
        {"plain file", FILE_ATTRIBUTE_NORMAL, ERROR_SUCCESS, platform::PathKind::File, false, false},
        {"file with every mark", Marks, ERROR_SUCCESS, platform::PathKind::File, false, false},
        {"compressed, sparse, temporary file",
         FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_ARCHIVE,
         ERROR_SUCCESS, platform::PathKind::File, false, false},
        {"a stale error beside a real answer is not read", FILE_ATTRIBUTE_ARCHIVE, ERROR_FILE_NOT_FOUND,
         platform::PathKind::File, false, false},
        {"folder", Folder, ERROR_SUCCESS, platform::PathKind::Folder, false, false},
        {"folder with every mark", Folder | Marks, ERROR_SUCCESS, platform::PathKind::Folder, false, false},
        {"file's symbolic link", Link | FILE_ATTRIBUTE_ARCHIVE, ERROR_SUCCESS, platform::PathKind::Link, true, false},
        {"read-only hidden file's symbolic link", Link | Marks, ERROR_SUCCESS, platform::PathKind::Link, true, false},
        {"folder's symbolic link or junction", Folder | Link, ERROR_SUCCESS, platform::PathKind::Link, true, true},
        {"hidden system junction", Folder | Link | Marks, ERROR_SUCCESS, platform::PathKind::Link, true, true},
        // A placeholder of a file kept elsewhere (a deduplicated or cloud
        // file) is a reparse point too, and not followed either.
        {"offline sparse reparse point", Link | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_SPARSE_FILE, ERROR_SUCCESS,
         platform::PathKind::Link, true, false},
        // INVALID_FILE_ATTRIBUTES has the reparse and folder bits set as well.
        {"missing", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND, platform::PathKind::Missing, false, false},
        {"missing folder on the way", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND, platform::PathKind::Missing, false,
         false},
        {"there but not to be looked at", INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED, platform::PathKind::Other,
         false, false},
        {"there but held", INVALID_FILE_ATTRIBUTES, ERROR_SHARING_VIOLATION, platform::PathKind::Other, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::KindFromAttributes(c.attributes, c.lookupError), c.kind);
        EXPECT_EQ(platform::AttributesShowLink(c.attributes), c.link);
        EXPECT_EQ(platform::AttributesShowFolderLink(c.attributes), c.folderLink);
    }
}

TEST(WinFileSystem, KindOfTellsFilesFromFoldersAndNothing)
{
    TempDir dir;
    const std::string root = dir.Path() + "\\";
    WriteFileBytes(root + "file", "bytes");
    ASSERT_TRUE(CreateDirectoryA((root + "folder").c_str(), nullptr));
    const struct {
        const char* name;
        platform::PathKind kind;
    } cases[] = {
        {"file", platform::PathKind::File},
        {"folder", platform::PathKind::Folder},
        {"missing", platform::PathKind::Missing},
        {"missing\\file", platform::PathKind::Missing},
    };
    auto files = platform::CreateFileSystem();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(files->KindOf(root + c.name), c.kind);
    }
}

TEST(WinFileSystem, FlushKeepsTheFileAsItIs)
{
    const std::string database = std::string("database\0bytes\r\n", 16);
    constexpr DWORD ServerSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const struct {
        const char* name;
        const char* path;
        bool held;
        DWORD sharing;  // of the holder
        bool readOnly;
        platform::FileError error;
    } cases[] = {
        {"a file nobody holds", "db", false, 0, false, platform::FileError::None},
        {"a file an engine holds, sharing reading and writing", "db", true, ServerSharing, false,
         platform::FileError::None},
        {"a read-only file stays read-only", "db", false, 0, true, platform::FileError::None},
        {"a file held without sharing", "db", true, 0, false, platform::FileError::Held},
        {"a missing file", "missing", false, 0, false, platform::FileError::NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string root = dir.Path() + "\\";
        WriteFileBytes(root + "db", database);
        if (c.readOnly) {
            ASSERT_TRUE(SetFileAttributesA((root + "db").c_str(), FILE_ATTRIBUTE_READONLY));
        }
        auto files = platform::CreateFileSystem();
        const std::string before = files->Identity(root + "db");

        std::optional<HeldFile> held;
        if (c.held) {
            held.emplace(root + "db", c.sharing);
            ASSERT_TRUE(held->Held());
        }
        EXPECT_EQ(files->Flush(root + c.path).error, c.error);
        held.reset();

        EXPECT_EQ(Content(root + "db"), database);
        EXPECT_EQ(files->Identity(root + "db"), before);
        EXPECT_EQ(ReadOnly(root + "db"), c.readOnly);
        EXPECT_EQ(Content(root + "missing"), std::nullopt);
        SetFileAttributesA((root + "db").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(WinFileSystem, ReadHandsOverEveryByteInBoundedPieces)
{
    constexpr std::size_t Piece = 1024 * 1024;
    const struct {
        const char* name;
        std::optional<std::size_t> size;  // nullopt: no file
        DWORD heldSharing;                // 0: not held
        platform::FileError error;
    } cases[] = {
        {"an empty file", 0, 0, platform::FileError::None},
        {"a small file", 5, 0, platform::FileError::None},
        {"exactly one piece", Piece, 0, platform::FileError::None},
        {"three pieces and five bytes", 3 * Piece + 5, 0, platform::FileError::None},
        {"another process reading too", 3 * Piece + 5, FILE_SHARE_READ, platform::FileError::None},
        {"a file being written by another process", 5, FILE_SHARE_READ | FILE_SHARE_WRITE, platform::FileError::Held},
        {"a missing file", std::nullopt, 0, platform::FileError::NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.Path() + "\\file";
        const std::string bytes = Bytes(c.size.value_or(0));
        if (c.size)
            WriteFileBytes(path, bytes);
        std::optional<platform::UniqueHandle> held;
        if (c.heldSharing) {
            // A reader asks for reading only; a writer for writing as well.
            const DWORD access = c.heldSharing & FILE_SHARE_WRITE ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
            held.emplace(CreateFileA(path.c_str(), access, c.heldSharing, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held->Valid());
        }
        auto files = platform::CreateFileSystem();

        std::string got;
        std::size_t largest = 0;
        const platform::FileResult result = files->Read(path, [&](const char* data, std::size_t size) {
            got.append(data, size);
            largest = std::max(largest, size);
        });
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(got, c.error == platform::FileError::None ? bytes : std::string());
        EXPECT_LE(largest, Piece);
    }
}

TEST(WinFileSystem, PrepareLikeGivesTheTargetNoWiderAccessThanTheModel)
{
    // The folder lets everyone do everything, and passes that down; the
    // model lets only the system change it and the users read it. Wine 8
    // keeps of a list only what its file's mode bits can say, and reads
    // that back; the target must then carry the same, and what it would
    // carry otherwise ("plain") must differ, or the comparison proves nothing.
    const char* const wideFolder = "D:P(A;OICI;FA;;;WD)";
    const char* const narrowModel = "D:P(A;;FA;;;SY)(A;;FR;;;BU)";
    const struct {
        const char* name;
        bool modelThere;
        std::optional<std::string> targetBefore;  // nullopt: no target
        platform::FileError error;
        std::optional<std::string> targetAfter;
    } cases[] = {
        {"a missing target is made empty", true, std::nullopt, platform::FileError::None, ""},
        {"an existing target keeps its bytes", true, "restored bytes", platform::FileError::None, "restored bytes"},
        {"without a model nothing is made", false, std::nullopt, platform::FileError::NotFound, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string root = dir.Path() + "\\";
        ASSERT_TRUE(SetDacl(dir.Path(), wideFolder));
        WriteFileBytes(root + "plain", "made the usual way");
        if (c.modelThere) {
            WriteFileBytes(root + "model", "database");
            ASSERT_TRUE(SetDacl(root + "model", narrowModel));
            const std::string model = DaclText(root + "model");
            if (model.empty() || model == DaclText(root + "plain"))
                GTEST_SKIP() << "the model's access list cannot be told from a plain file's here";
        }
        if (c.targetBefore)
            WriteFileBytes(root + "target", *c.targetBefore);
        auto files = platform::CreateFileSystem();

        EXPECT_EQ(files->PrepareLike(root + "model", root + "target").error, c.error);

        EXPECT_EQ(Content(root + "target"), c.targetAfter);
        if (c.error == platform::FileError::None) {
            EXPECT_EQ(DaclText(root + "target"), DaclText(root + "model"));
        }
    }
}

}  // namespace
