#include "clean/WorkingNames.h"

#include <gtest/gtest.h>

namespace {

TEST(WorkingNames, EveryFdbInAnyCaseIsReplacedLeftToRightWithoutOverlap)
{
    const struct {
        const char* name;
        const char* path;
        const char* fdk;
        const char* bak;
    } cases[] = {
        {"plain", "D:\\Base\\MAIN.fdb", "D:\\Base\\MAIN.fdk", "D:\\Base\\MAIN.bak"},
        {"upper case", "D:\\Base\\MAIN.FDB", "D:\\Base\\MAIN.fdk", "D:\\Base\\MAIN.bak"},
        {"mixed case", "/srv/Main.fDb", "/srv/Main.fdk", "/srv/Main.bak"},
        {"directory named x.fdb", "D:\\x.fdb\\main.fdb", "D:\\x.fdk\\main.fdk", "D:\\x.bak\\main.bak"},
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
