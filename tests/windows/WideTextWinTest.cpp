// The conversions between the tool's 8-bit paths and the wide calls, under
// Windows-1251 (scripts/windows-tests.sh runs the tests with LANG=ru_RU).
#include "platform/WideTextWin.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(WideText, NarrowingIsExactOrMarksEveryLetterTheCodePageLacks)
{
    ASSERT_EQ(GetACP(), 1251u) << "run with LANG=ru_RU.UTF-8";
    const struct {
        const char* name;
        std::wstring wide;
        std::string narrow;
        bool exact;
    } cases[] = {
        {"letters the code page holds", L"C:\\Базы\\x.fdb", "C:\\\xc1\xe0\xe7\xfb\\x.fdb", true},
        {"nothing", L"", "", true},
        // Best fit would give "Cafe": another folder's name.
        {"a letter it has only a look-alike for", L"C:\\Café\\x.fdb", "C:\\Caf?\\x.fdb", false},
        {"letters it has nothing for", L"C:\\Βάση\\x.fdb", "C:\\????\\x.fdb", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool exact = !c.exact;
        EXPECT_EQ(platform::WideToAnsi(c.wide, &exact), c.narrow);
        EXPECT_EQ(exact, c.exact);
        EXPECT_EQ(platform::ExactAnsi(c.wide), c.exact ? std::optional<std::string>(c.narrow) : std::nullopt);
    }
}

// Real Windows refuses a path of MAX_PATH or more in the plain form unless
// the program is long-path aware and the system allows it; Wine does not,
// so what is checked here is the form the calls are given.
TEST(WideText, PathsNearMaxPathGoToTheWideCallsInTheirLongForm)
{
    const std::string longest = std::string(MAX_PATH - 12 - 1 - 3, 'x');  // with "C:\" one under the limit
    const struct {
        const char* name;
        std::string path;
        std::wstring wide;
    } cases[] = {
        {"a short path as it is", "C:\\data\\x.fdb", L"C:\\data\\x.fdb"},
        {"a short relative path stays relative", "x.fdb", L"x.fdb"},
        {"one under the limit", "C:\\" + longest, L"C:\\" + std::wstring(longest.begin(), longest.end())},
        {"at the limit", "C:\\" + longest + "y", L"\\\\?\\C:\\" + std::wstring(longest.begin(), longest.end()) + L"y"},
        {"a share's path", "\\\\server\\share\\" + longest,
         L"\\\\?\\UNC\\server\\share\\" + std::wstring(longest.begin(), longest.end())},
        {"already in the long form", "\\\\?\\C:\\" + longest + "y",
         L"\\\\?\\C:\\" + std::wstring(longest.begin(), longest.end()) + L"y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::WidePath(c.path), c.wide);
    }
}

}  // namespace
