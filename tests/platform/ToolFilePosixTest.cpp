#include "platform/ToolFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/Unprivileged.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

TEST(ToolFilePresent, FilesAndLinksArePresentFoldersAndMissingNamesAreNot)
{
    TempDir dir;
    WriteFileBytes(dir.File("gbak"), "tool");
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink(dir.File("gbak"), dir.File("link to file"));
    std::filesystem::create_symlink(dir.File("folder"), dir.File("link to folder"));
    std::filesystem::create_symlink(dir.File("nowhere"), dir.File("dangling link"));
    const struct {
        const char* name;
        std::string path;
        bool present;
    } cases[] = {
        {"plain file", dir.File("gbak"), true},
        {"link to a file", dir.File("link to file"), true},
        {"link to a folder is not followed", dir.File("link to folder"), true},
        {"dangling link", dir.File("dangling link"), true},
        {"folder", dir.File("folder"), false},
        {"missing name", dir.File("missing"), false},
        {"missing folder on the way", dir.File("missing/gbak"), false},
        {"a file on the way", dir.File("gbak/gbak"), false},
        {"name too long", dir.File(std::string(300, 'x')), false},
        {"empty path", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ToolFilePresent(c.path), c.present) << c.name;
}

// A folder that may be listed but not searched refuses lstat on its entries;
// the listing then decides.
TEST(ToolFilePresent, FallsBackOnTheFolderListingWhenTheNameCannotBeLookedAt)
{
    TempDir dir;
    const std::string bin = dir.File("bin");
    std::filesystem::create_directory(bin);
    WriteFileBytes(bin + "/gbak", "tool");
    std::filesystem::create_directory(bin + "/folder");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(bin.c_str(), 0444), 0);  // read, no search
    const struct {
        const char* name;
        std::string path;
        bool present;
    } cases[] = {
        {"listed file", bin + "/gbak", true},
        {"listed folder", bin + "/folder", false},
        {"not listed", bin + "/missing", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AsUnprivilegedUser([&] { return platform::ToolFilePresent(c.path); }), c.present) << c.name;
        // The fallback is taken only because lstat is refused.
        EXPECT_FALSE(AsUnprivilegedUser([&] {
            struct stat info {};
            return lstat(c.path.c_str(), &info) == 0;
        })) << c.name;
    }
}

}  // namespace
