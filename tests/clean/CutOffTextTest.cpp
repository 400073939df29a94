#include "clean/CutOffText.h"

#include <gtest/gtest.h>

namespace {

TEST(CutOffText, FixedDayMonthYearFormWithTimeUnlessExactlyMidnight)
{
    const struct {
        const char* name;
        TDateTime cutOff;
        const char* expected;
    } cases[] = {
        {"midnight gives the date alone", {2000, 1, 1, 0, 0, 0, 0}, "01.01.2000"},
        {"afternoon, milliseconds dropped", {2000, 1, 1, 14, 23, 5, 250}, "01.01.2000 14:23:05"},
        {"milliseconds alone count as a time", {2000, 1, 1, 0, 0, 0, 500}, "01.01.2000 0:00:00"},
        {"a seventies year keeps four digits", {1975, 1, 1, 0, 0, 0, 0}, "01.01.1975"},
        {"day above twelve comes first", {2023, 2, 25, 9, 7, 3, 0}, "25.02.2023 9:07:03"},
        {"last second of the year", {1999, 12, 31, 23, 59, 59, 999}, "31.12.1999 23:59:59"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CutOffText(c.cutOff), c.expected) << c.name;
}

}  // namespace
