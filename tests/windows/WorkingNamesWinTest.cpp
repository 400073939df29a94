// The working files' names for Windows paths: backslashes, drive letters and
// mixed separators, where only the file's own name may change.
#include "clean/WorkingNames.h"

#include <gtest/gtest.h>

namespace {

TEST(WinWorkingNames, OnlyTheFileNameAfterAnyWindowsSeparatorChanges)
{
    const struct {
        const char* name;
        const char* path;
        const char* fdk;
        const char* bak;
    } cases[] = {
        {"folder named x.fdb stays", "D:\\x.fdb\\main.fdb", "D:\\x.fdb\\main.fdk", "D:\\x.fdb\\main.bak"},
        {"upper case", "D:\\Base\\MAIN.FDB", "D:\\Base\\MAIN.fdk", "D:\\Base\\MAIN.bak"},
        {"drive-relative", "C:MAIN.fdb", "C:MAIN.fdk", "C:MAIN.bak"},
        {"forward slashes", "D:/x.fdb/main.fdb", "D:/x.fdb/main.fdk", "D:/x.fdb/main.bak"},
        {"mixed separators", "D:\\x.fdb/y.fdb\\main.Fdb", "D:\\x.fdb/y.fdb\\main.fdk", "D:\\x.fdb/y.fdb\\main.bak"},
        {"mixed the other way", "D:/x.fdb\\main.fdb", "D:/x.fdb\\main.fdk", "D:/x.fdb\\main.bak"},
        {"network share", "\\\\srv.fdb\\data.fdb\\MAIN.fdb", "\\\\srv.fdb\\data.fdb\\MAIN.fdk",
         "\\\\srv.fdb\\data.fdb\\MAIN.bak"},
        {"folder alone is no match", "D:\\data.fdb\\MAIN", "D:\\data.fdb\\MAIN", "D:\\data.fdb\\MAIN"},
    };
    for (const auto& c : cases) {
        const WorkingNames names = DeriveWorkingNames(c.path);
        EXPECT_EQ(names.fdk, c.fdk) << c.name;
        EXPECT_EQ(names.bak, c.bak) << c.name;
    }
}

}  // namespace
