#include "clean/RoomCheck.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = 1024 * KiB;
constexpr std::uint64_t GiB = 1024 * MiB;

// Twice the database, an eighth of it more, and 4 MiB: worked out by hand
// for each size, so a formula that drifts shows here.
TEST(RoomCheck, ARunNeedsTwiceTheDatabaseAnEighthMoreAndFourMegabytes)
{
    const struct {
        const char* name;
        std::uint64_t size;
        std::uint64_t needed;
    } cases[] = {
        {"an empty file still needs the margin", 0, 4'194'304},
        {"an eighth rounds down", 7, 4'194'318},
        {"one page of 8 KiB", 8'192, 4'211'712},
        {"a 1 MiB database", MiB, 6'422'528},
        {"a 1 GiB database", GiB, 2'285'895'680},
        {"a 100 GiB database", 100 * GiB, 228'174'331'904},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RoomNeededBeyond(c.size), c.needed);
    }
}

// What the operator reads: whole kilobytes, whole megabytes, tenths of a
// gigabyte; a room needed rounds up and a room free rounds down, so that a
// shortfall never reads as enough.
TEST(RoomCheck, SizesReadInTheirUnitRoundedTheWayAsked)
{
    const struct {
        const char* name;
        std::uint64_t bytes;
        bool roundUp;
        const char* text;
    } cases[] = {
        {"nothing", 0, false, "0 КБ"},
        {"a byte free reads as none", 1, false, "0 КБ"},
        {"a byte needed reads as a kilobyte", 1, true, "1 КБ"},
        {"just under a megabyte, free", MiB - 1, false, "1023 КБ"},
        {"just under a megabyte, needed", MiB - 1, true, "1024 КБ"},
        {"a megabyte", MiB, false, "1 МБ"},
        {"a megabyte and a byte, needed", MiB + 1, true, "2 МБ"},
        {"a megabyte and a byte, free", MiB + 1, false, "1 МБ"},
        {"just under ten gigabytes, free", 10 * GiB - 1, false, "10239 МБ"},
        {"ten gigabytes", 10 * GiB, false, "10,0 ГБ"},
        {"ten gigabytes and a byte, needed", 10 * GiB + 1, true, "10,1 ГБ"},
        {"twelve and a half gigabytes", 12 * GiB + GiB / 2, false, "12,5 ГБ"},
        {"just under 12.6 GB, free", 12 * GiB + 6 * GiB / 10, false, "12,5 ГБ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SizeText(c.bytes, c.roundUp), c.text);
    }
}

}  // namespace
