#include "platform/ToolFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

TEST(ToolFilePresent, PlainFilesArePresentFoldersAndBadNamesAreNot)
{
    TempDir dir;
    const std::string root = dir.Path() + "\\";
    WriteFileBytes(root + "gbak.exe", "MZ");
    ASSERT_TRUE(CreateDirectoryA((root + "folder").c_str(), nullptr));

    const struct {
        const char* name;
        std::string path;
        bool present;
    } cases[] = {
        {"file", root + "gbak.exe", true},
        {"folder", root + "folder", false},
        {"missing file", root + "missing.exe", false},
        {"missing folder on the way", root + "missing\\Bin\\gbak.exe", false},
        {"characters Windows refuses in a name", root + "gb<a>k?.exe", false},
        {"empty path", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ToolFilePresent(c.path), c.present) << c.name;
}

}  // namespace
