#include "clean/WorkingNames.h"

#include <gtest/gtest.h>

namespace {

TEST(WorkingNames, EveryFdbInTheFileNameInAnyCaseIsReplacedLeftToRightWithoutOverlap)
{
    const struct {
        const char* name;
        const char* path;
        const char* fdk;
        const char* bak;
    } cases[] = {
        {"plain", "/Base/MAIN.fdb", "/Base/MAIN.fdk", "/Base/MAIN.bak"},
        {"upper case", "/Base/MAIN.FDB", "/Base/MAIN.fdk", "/Base/MAIN.bak"},
        {"mixed case", "/srv/Main.fDb", "/srv/Main.fdk", "/srv/Main.bak"},
        {"folders named x.fdb stay", "/x.fdb/y.FDB/main.fdb", "/x.fdb/y.FDB/main.fdk", "/x.fdb/y.FDB/main.bak"},
        {"a folder alone is no match", "/data.fdb/MAIN", "/data.fdb/MAIN", "/data.fdb/MAIN"},
        {"no folder", "main.fdb", "main.fdk", "main.bak"},
        {"several matches", "/a.fdb.FDB.x.Fdb", "/a.fdk.fdk.x.fdk", "/a.bak.bak.x.bak"},
        {".fdbfdb matches once", "/db.fdbfdb", "/db.fdkfdb", "/db.bakfdb"},
        {"dot before a match stays", "/db..fdb", "/db..fdk", "/db..bak"},
        {"no match", "/srv/main.gdb", "/srv/main.gdb", "/srv/main.gdb"},
        {"fdb without the dot", "/srv/fdb", "/srv/fdb", "/srv/fdb"},
        {"empty path", "", "", ""},
    };
    for (const auto& c : cases) {
        const WorkingNames names = DeriveWorkingNames(c.path);
        EXPECT_EQ(names.fdk, c.fdk) << c.name;
        EXPECT_EQ(names.bak, c.bak) << c.name;
    }
}

}  // namespace
