#include "platform/FileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/AttachedDatabase.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"

namespace {

namespace fs = std::filesystem;

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return bytes;
}

fs::perms Mode(const std::string& path)
{
    return fs::symlink_status(path).permissions();
}

// What a row finds at the target after the operation.
struct Target {
    std::optional<std::string> bytes;  // nullopt: nothing there
    fs::perms mode = fs::perms::unknown;
};

TEST(PosixFileSystemCopy, CopiesEveryByteOnceAndNeverOverwrites)
{
    const auto files = platform::CreateFileSystem();
    const std::string big = Pattern((3 << 20) + 12345);  // several read buffers' worth
    const struct {
        const char* name;
        // Prepares the folder; returns the source path. The target is "copy".
        std::function<std::string(const TempDir&)> arrange;
        platform::FileError error;
        Target expected;
    } cases[] = {
        {"every byte and the permission bits",
         [&](const TempDir& d) {
             WriteFileBytes(d.File("db"), big);
             fs::permissions(d.File("db"), fs::perms(0640));
             return d.File("db");
         },
         platform::FileError::None, {big, fs::perms(0640)}},
        {"read-only and execute bits",
         [](const TempDir& d) {
             WriteFileBytes(d.File("db"), "x");
             fs::permissions(d.File("db"), fs::perms(0555));
             return d.File("db");
         },
         platform::FileError::None, {"x", fs::perms(0555)}},
        {"empty file",
         [](const TempDir& d) {
             WriteFileBytes(d.File("db"), "");
             return d.File("db");
         },
         platform::FileError::None, {"", fs::perms(0644)}},
        {"from another file system (read and write)",
         [&](const TempDir&) {
             const std::string shm = "/dev/shm/quenor-copy-source-" + std::to_string(getpid());
             WriteFileBytes(shm, big);
             fs::permissions(shm, fs::perms(0600));
             return shm;
         },
         platform::FileError::None, {big, fs::perms(0600)}},
        {"refuses an existing target",
         [](const TempDir& d) {
             WriteFileBytes(d.File("db"), "new");
             WriteFileBytes(d.File("copy"), "old");
             fs::permissions(d.File("copy"), fs::perms(0600));
             return d.File("db");
         },
         platform::FileError::TargetExists, {"old", fs::perms(0600)}},
        {"refuses a link at the target, wherever it leads",
         [](const TempDir& d) {
             WriteFileBytes(d.File("db"), "new");
             fs::create_symlink(d.File("elsewhere"), d.File("copy"));
             return d.File("db");
         },
         platform::FileError::TargetExists, {std::nullopt, fs::perms::unknown}},
        {"missing source",
         [](const TempDir& d) { return d.File("db"); },
         platform::FileError::NotFound, {std::nullopt, fs::perms::unknown}},
        {"source is a folder",
         [](const TempDir& d) {
             fs::create_directory(d.File("db"));
             return d.File("db");
         },
         platform::FileError::NotAFile, {std::nullopt, fs::perms::unknown}},
        {"source read fails half way: no partial target",
         // Reading this process's memory at offset 0 fails with EIO.
         [](const TempDir&) { return std::string("/proc/self/mem"); },
         platform::FileError::Other, {std::nullopt, fs::perms::unknown}},
    };
    // With a callback the copy runs on a thread of its own, and must give the
    // same results.
    const std::thread::id caller = std::this_thread::get_id();
    bool calledOnAnotherThread = false;
    const platform::WhileWaiting onCaller = [&](platform::BytesSoFar) {
        calledOnAnotherThread = calledOnAnotherThread || std::this_thread::get_id() != caller;
        return true;
    };
    for (const platform::WhileWaiting& whileWaiting : {platform::WhileWaiting(), onCaller})
    for (const auto& c : cases) {
        SCOPED_TRACE(whileWaiting ? "copy on its own thread" : "copy on the caller's thread");
        TempDir dir;
        umask(022);
        const std::string source = c.arrange(dir);
        const std::string target = dir.File("copy");
        EXPECT_EQ(files->Copy(source, target, whileWaiting).error, c.error) << c.name;
        if (c.expected.bytes) {
            ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(target))) << c.name;
            EXPECT_TRUE(ReadFileBytes(target) == *c.expected.bytes) << c.name;
            EXPECT_EQ(Mode(target), c.expected.mode) << c.name;
        } else {
            EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(target))) << c.name;
            EXPECT_FALSE(fs::exists(dir.File("elsewhere"))) << c.name;
        }
        if (source.rfind("/dev/shm/", 0) == 0)
            fs::remove(source);
    }
    EXPECT_FALSE(calledOnAnotherThread);
}

// Windows refuses to copy a file that an attached database holds; here the
// engine's flock stands for that, and any other holder's lock counts too.
// A waiter follows the bytes written, and a copy it stops leaves nothing.
TEST(PosixFileSystemCopy, ReportsTheBytesWrittenAndStopsWhenAsked)
{
    const auto files = platform::CreateFileSystem();
    TempDir dir;
    // Larger than the kernel copies in one call, so the copy is watched
    // between calls.
    const std::string bytes = Pattern(100u << 20);
    WriteFileBytes(dir.File("db"), bytes);
    const struct {
        const char* name;
        bool stop;
        platform::FileError error;
    } cases[] = {
        {"followed to the end", false, platform::FileError::None},
        {"stopped at the first call", true, platform::FileError::Stopped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint64_t mostSeen = 0;
        bool goingBack = false;
        const platform::FileResult copied =
            files->Copy(dir.File("db"), dir.File("copy"), [&](platform::BytesSoFar seen) {
                goingBack = goingBack || seen.value_or(0) < mostSeen;
                mostSeen = std::max(mostSeen, seen.value_or(0));
                return !c.stop;
            });
        EXPECT_EQ(copied.error, c.error);
        EXPECT_FALSE(goingBack);
        EXPECT_LE(mostSeen, bytes.size());
        if (c.stop) {
            EXPECT_FALSE(fs::exists(dir.File("copy")));
        } else {
            EXPECT_TRUE(ReadFileBytes(dir.File("copy")) == bytes);
            fs::remove(dir.File("copy"));
        }
    }
}

TEST(PosixFileSystemCopy, RefusesASourceAnotherHolderHasLocked)
{
    TempDir dir;
    const std::string database = dir.File("MAIN.fdb");
    CreateFirebirdDatabase(database, QuenorLogTables);
    const auto files = platform::CreateFileSystem();
    const struct {
        const char* name;
        std::function<std::shared_ptr<void>()> hold;
        platform::FileError error;
    } cases[] = {
        {"attached by the embedded engine", [&] { return std::make_shared<AttachedDatabase>(database); },
         platform::FileError::Held},
        {"exclusive flock", [&] { return std::make_shared<HeldFile>(database, LOCK_EX); }, platform::FileError::Held},
        {"shared flock", [&] { return std::make_shared<HeldFile>(database, LOCK_SH); }, platform::FileError::Held},
        {"nobody holds it", [] { return std::shared_ptr<void>(); }, platform::FileError::None},
    };
    for (const auto& c : cases) {
        const std::string target = dir.File("MAIN.bak");
        {
            const std::shared_ptr<void> holder = c.hold();
            EXPECT_EQ(files->Copy(database, target).error, c.error) << c.name;
        }
        EXPECT_EQ(fs::exists(target), c.error == platform::FileError::None) << c.name;
        fs::remove(target);
    }
}

TEST(PosixFileSystemCopy, KeepsOwnerAndGroupWhereAllowed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root may hand a file to another owner";
    TempDir dir;
    WriteFileBytes(dir.File("db"), "rows");
    ASSERT_EQ(chown(dir.File("db").c_str(), 65534, 65534), 0);
    ASSERT_TRUE(platform::CreateFileSystem()->Copy(dir.File("db"), dir.File("copy")));
    struct stat info {};
    ASSERT_EQ(stat(dir.File("copy").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
}

TEST(PosixFileSystemDelete, RefusesAHeldFileAndRemovesLinksThemselves)
{
    const auto files = platform::CreateFileSystem();
    const struct {
        const char* name;
        // Prepares "name" (and whatever it needs) in the folder; returns a holder.
        std::function<std::shared_ptr<void>(const TempDir&)> arrange;
        bool deleted;
    } cases[] = {
        {"file nobody holds",
         [](const TempDir& d) {
             WriteFileBytes(d.File("name"), "rows");
             return std::shared_ptr<void>();
         },
         true},
        {"database attached by the embedded engine",
         [](const TempDir& d) {
             CreateFirebirdDatabase(d.File("name"), QuenorLogTables);
             return std::shared_ptr<void>(std::make_shared<AttachedDatabase>(d.File("name")));
         },
         false},
        {"exclusive flock",
         [](const TempDir& d) {
             WriteFileBytes(d.File("name"), "rows");
             return std::shared_ptr<void>(std::make_shared<HeldFile>(d.File("name"), LOCK_EX));
         },
         false},
        {"shared flock",
         [](const TempDir& d) {
             WriteFileBytes(d.File("name"), "rows");
             return std::shared_ptr<void>(std::make_shared<HeldFile>(d.File("name"), LOCK_SH));
         },
         false},
        {"read-only file nobody holds",
         [](const TempDir& d) {
             WriteFileBytes(d.File("name"), "rows");
             fs::permissions(d.File("name"), fs::perms(0444));
             return std::shared_ptr<void>();
         },
         true},
        {"link to a held file goes, the file stays",
         [](const TempDir& d) {
             WriteFileBytes(d.File("kept"), "rows");
             fs::create_symlink(d.File("kept"), d.File("name"));
             return std::shared_ptr<void>(std::make_shared<HeldFile>(d.File("kept"), LOCK_EX));
         },
         true},
        {"dangling link",
         [](const TempDir& d) {
             fs::create_symlink(d.File("nowhere"), d.File("name"));
             return std::shared_ptr<void>();
         },
         true},
        {"missing name", [](const TempDir&) { return std::shared_ptr<void>(); }, false},
        {"folder",
         [](const TempDir& d) {
             fs::create_directory(d.File("name"));
             return std::shared_ptr<void>();
         },
         false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::shared_ptr<void> holder = c.arrange(dir);
        const bool hadName = fs::exists(fs::symlink_status(dir.File("name")));
        EXPECT_EQ(static_cast<bool>(files->Delete(dir.File("name"))), c.deleted) << c.name;
        EXPECT_EQ(fs::exists(fs::symlink_status(dir.File("name"))), hadName && !c.deleted) << c.name;
        if (fs::exists(fs::symlink_status(dir.File("kept")))) {
            EXPECT_EQ(ReadFileBytes(dir.File("kept")), "rows") << c.name;
        }
    }
}

TEST(PosixFileSystemRename, NeverReplaces)
{
    const auto files = platform::CreateFileSystem();
    const struct {
        const char* name;
        std::function<void(const TempDir&)> arrange;  // "from" and maybe "to"
        bool renamed;
        std::optional<std::string> from;  // what stays at "from" afterwards
        std::optional<std::string> to;    // what is at "to" afterwards
    } cases[] = {
        {"free name", [](const TempDir& d) { WriteFileBytes(d.File("from"), "copy"); }, true, std::nullopt, "copy"},
        {"existing file",
         [](const TempDir& d) {
             WriteFileBytes(d.File("from"), "copy");
             WriteFileBytes(d.File("to"), "database");
         },
         false, "copy", "database"},
        {"existing dangling link",
         [](const TempDir& d) {
             WriteFileBytes(d.File("from"), "copy");
             fs::create_symlink(d.File("nowhere"), d.File("to"));
         },
         false, "copy", std::nullopt},
        {"missing source", [](const TempDir&) {}, false, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        TempDir dir;
        c.arrange(dir);
        EXPECT_EQ(static_cast<bool>(files->Rename(dir.File("from"), dir.File("to"))), c.renamed) << c.name;
        EXPECT_EQ(fs::exists(dir.File("from")) ? std::optional(ReadFileBytes(dir.File("from"))) : std::nullopt, c.from)
            << c.name;
        EXPECT_EQ(fs::exists(dir.File("to")) ? std::optional(ReadFileBytes(dir.File("to"))) : std::nullopt, c.to)
            << c.name;
        EXPECT_FALSE(fs::exists(dir.File("nowhere"))) << c.name;
    }
}

TEST(PosixFileSystemPutBack, ReplacesInOneStepOrChangesNothing)
{
    const auto files = platform::CreateFileSystem();
    const struct {
        const char* name;
        // Prepares "copy" and maybe "db"; returns whatever holds "db" during the put-back.
        std::function<std::shared_ptr<void>(const TempDir&)> arrange;
        platform::FileError error;
        std::optional<std::string> copy;  // what stays at "copy" afterwards
        std::optional<std::string> db;    // what is at "db" afterwards
    } cases[] = {
        {"the database path is empty",
         [](const TempDir& d) {
             WriteFileBytes(d.File("copy"), "original");
             return std::shared_ptr<void>();
         },
         platform::FileError::None, std::nullopt, "original"},
        {"a half-cleaned file nobody holds is replaced",
         [](const TempDir& d) {
             WriteFileBytes(d.File("copy"), "original");
             WriteFileBytes(d.File("db"), "half");
             return std::shared_ptr<void>();
         },
         platform::FileError::None, std::nullopt, "original"},
        {"a file another holder has locked stays, and so does the copy",
         [](const TempDir& d) {
             WriteFileBytes(d.File("copy"), "original");
             WriteFileBytes(d.File("db"), "half");
             return std::shared_ptr<void>(std::make_shared<HeldFile>(d.File("db"), LOCK_SH));
         },
         platform::FileError::Held, "original", "half"},
        {"no copy to put back",
         [](const TempDir& d) {
             WriteFileBytes(d.File("db"), "half");
             return std::shared_ptr<void>();
         },
         platform::FileError::NotFound, std::nullopt, "half"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        {
            const std::shared_ptr<void> holder = c.arrange(dir);
            EXPECT_EQ(files->PutBack(dir.File("copy"), dir.File("db")).error, c.error) << c.name;
        }
        EXPECT_EQ(fs::exists(dir.File("copy")) ? std::optional(ReadFileBytes(dir.File("copy"))) : std::nullopt, c.copy)
            << c.name;
        EXPECT_EQ(fs::exists(dir.File("db")) ? std::optional(ReadFileBytes(dir.File("db"))) : std::nullopt, c.db)
            << c.name;
    }
}

TEST(PosixFileSystemPutBack, LeavesADatabaseTheEngineHasAttached)
{
    TempDir dir;
    CreateFirebirdDatabase(dir.File("MAIN.fdb"), QuenorLogTables);
    WriteFileBytes(dir.File("MAIN.bak"), "original");
    const auto files = platform::CreateFileSystem();
    {
        AttachedDatabase attached(dir.File("MAIN.fdb"));
        EXPECT_EQ(files->PutBack(dir.File("MAIN.bak"), dir.File("MAIN.fdb")).error, platform::FileError::Held);
    }
    EXPECT_EQ(ReadFileBytes(dir.File("MAIN.bak")), "original");
    EXPECT_EQ(QueryInteger(dir.File("MAIN.fdb"), "SELECT COUNT(*) FROM log"), 0) << "still the attached database";
}

TEST(PosixFileSystem, IdentityFollowsTheFileThroughRenamesAndNotToItsCopies)
{
    TempDir dir;
    const auto files = platform::CreateFileSystem();
    WriteFileBytes(dir.File("a"), "rows");
    fs::create_symlink(dir.File("a"), dir.File("link"));
    const std::string original = files->Identity(dir.File("a"));
    ASSERT_FALSE(original.empty());
    ASSERT_TRUE(files->Copy(dir.File("a"), dir.File("copy")));
    EXPECT_NE(files->Identity(dir.File("copy")), original);
    ASSERT_TRUE(files->Rename(dir.File("a"), dir.File("b")));
    EXPECT_EQ(files->Identity(dir.File("b")), original);
    WriteFileBytes(dir.File("b"), "rows and more rows");
    EXPECT_EQ(files->Identity(dir.File("b")), original) << "writing into the file keeps it the same file";
    EXPECT_EQ(files->Identity(dir.File("a")), "");
    EXPECT_TRUE(files->IsLink(dir.File("link")));
    EXPECT_FALSE(files->IsLink(dir.File("b")));
    EXPECT_FALSE(files->IsLink(dir.File("missing")));
}

TEST(PosixFileSystem, KindReadKeepAndPrepare)
{
    TempDir dir;
    const auto files = platform::CreateFileSystem();
    // More than one piece of Read, and not a whole number of them.
    std::string bytes(3 * 1024 * 1024 + 5, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    WriteFileBytes(dir.File("file"), bytes);
    fs::create_directory(dir.File("folder"));
    fs::create_symlink(dir.File("file"), dir.File("link"));

    const struct {
        const char* name;
        platform::PathKind kind;
    } kinds[] = {{"file", platform::PathKind::File},
                 {"folder", platform::PathKind::Folder},
                 {"link", platform::PathKind::Link},
                 {"missing", platform::PathKind::Missing}};
    for (const auto& k : kinds)
        EXPECT_EQ(files->KindOf(dir.File(k.name)), k.kind) << k.name;

    std::string read;
    std::size_t pieces = 0;
    ASSERT_TRUE(files->Read(dir.File("file"), [&](const char* data, std::size_t size) {
        read.append(data, size);
        ++pieces;
    }));
    EXPECT_TRUE(read == bytes);
    EXPECT_GT(pieces, 1u);
    EXPECT_EQ(files->Read(dir.File("missing"), [](const char*, std::size_t) {}).error,
              platform::FileError::NotFound);

    ASSERT_TRUE(files->KeepAs(dir.File("file"), dir.File("kept")));
    EXPECT_EQ(files->Identity(dir.File("kept")), files->Identity(dir.File("file"))) << "a second name, no copy";
    EXPECT_EQ(files->KeepAs(dir.File("file"), dir.File("kept")).error, platform::FileError::TargetExists);
    EXPECT_EQ(files->KeepAs(dir.File("missing"), dir.File("other")).error, platform::FileError::NotFound);

    // The backup file gbak writes into: never wider than the database, even
    // for a user who cannot give it the database's group.
    fs::permissions(dir.Path(), fs::perms(0777));
    WriteFileBytes(dir.File("database"), "rows");
    fs::permissions(dir.File("database"), fs::perms(0660));
    ASSERT_TRUE(files->PrepareLike(dir.File("database"), dir.File("backup")));
    EXPECT_EQ(Mode(dir.File("backup")), fs::perms(0660));
    EXPECT_EQ(fs::file_size(dir.File("backup")), 0u);
    WriteFileBytes(dir.File("existing"), "old backup");
    fs::permissions(dir.File("existing"), fs::perms(0666));
    ASSERT_TRUE(files->PrepareLike(dir.File("database"), dir.File("existing")));
    EXPECT_EQ(Mode(dir.File("existing")), fs::perms(0660)) << "an existing file narrowed too";
    EXPECT_TRUE(AsUnprivilegedUser([&] {
        return files->PrepareLike(dir.File("database"), dir.File("theirs")) &&
               Mode(dir.File("theirs")) == fs::perms(0600);
    })) << "the group's bits dropped with the group";
}

TEST(PosixFileSystem, ExistsAndCopyOwnerAndMode)
{
    TempDir dir;
    const auto files = platform::CreateFileSystem();
    WriteFileBytes(dir.File("model"), "");
    WriteFileBytes(dir.File("target"), "");
    fs::permissions(dir.File("model"), fs::perms(0640));
    fs::permissions(dir.File("target"), fs::perms(0600));
    fs::create_symlink(dir.File("nowhere"), dir.File("dangling"));

    EXPECT_TRUE(files->Exists(dir.File("model")));
    EXPECT_TRUE(files->Exists(dir.File("dangling"))) << "the link itself is there";
    EXPECT_FALSE(files->Exists(dir.File("missing")));

    EXPECT_TRUE(files->CopyOwnerAndMode(dir.File("model"), dir.File("target")));
    EXPECT_EQ(Mode(dir.File("target")), fs::perms(0640));
    EXPECT_FALSE(files->CopyOwnerAndMode(dir.File("missing"), dir.File("target")));
    EXPECT_FALSE(files->CopyOwnerAndMode(dir.File("model"), dir.File("missing")));
}

}  // namespace
