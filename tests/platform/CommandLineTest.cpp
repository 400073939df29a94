#include "platform/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using platform::CommandArguments;

TEST(WindowsCommandLine, QuotesOnlyQuotedArgumentsAndJoinsWithSingleSpaces)
{
    const struct {
        const char* name;
        CommandArguments arguments;
        std::string expected;
    } cases[] = {
        {"empty", {}, ""},
        {"program only", {{"C:\\gbak.exe", true}}, "\"C:\\gbak.exe\""},
        {"switches stay bare",
         {{"g", true}, {"-b", false}, {"-g", false}, {"a b.fdb", true}},
         "\"g\" -b -g \"a b.fdb\""},
        {"empty quoted path keeps its quotes", {{"g", true}, {"", true}, {"-x", false}}, "\"g\" \"\" -x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::WindowsCommandLine(c.arguments), c.expected) << c.name;
}

}  // namespace
