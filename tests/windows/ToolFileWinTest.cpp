#include "platform/ToolFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Firebird registers its installation's root; 2.5 keeps gbak in Bin below
// it, 3.0 and later in the root itself.
TEST(GbakFileCandidates, BinFirstThenTheRootWithOneSeparatorWhateverTheValueEndsWith)
{
    using Paths = std::vector<std::string>;
    const struct {
        const char* name;
        std::string folder;
        Paths candidates;
    } cases[] = {
        {"with its closing backslash", "C:\\Firebird_3_0\\",
         Paths{"C:\\Firebird_3_0\\Bin\\gbak.exe", "C:\\Firebird_3_0\\gbak.exe"}},
        {"without it", "C:\\Firebird_3_0", Paths{"C:\\Firebird_3_0\\Bin\\gbak.exe", "C:\\Firebird_3_0\\gbak.exe"}},
        {"ending in a slash", "C:/Firebird_2_5/", Paths{"C:/Firebird_2_5/Bin\\gbak.exe", "C:/Firebird_2_5/gbak.exe"}},
        {"a drive's root", "D:\\", Paths{"D:\\Bin\\gbak.exe", "D:\\gbak.exe"}},
        {"empty: relative to the current folder", "", Paths{"Bin\\gbak.exe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::GbakFileCandidates(c.folder), c.candidates);
    }
}

}  // namespace
