// The registry reader against Wine's real registry: the test writes the
// Firebird key itself and removes it afterwards.
#include "platform/Registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "tests/windows/WindowsTestSupport.h"

namespace {

using platform::FirebirdInstancesKey;

TEST(WinRegistryReader, DefaultInstanceIsReadAsStoredOrRaises)
{
    const struct {
        const char* name;
        std::optional<StoredValue> value;
        std::string expected;  // the text, or the error message when `raises`
        bool raises = false;
    } cases[] = {
        {"string with closing backslash", StringValue(REG_SZ, "C:\\Program Files\\Firebird\\"),
         "C:\\Program Files\\Firebird\\"},
        {"string without closing backslash", StringValue(REG_SZ, "C:\\Firebird"), "C:\\Firebird"},
        {"expandable string stays unexpanded", StringValue(REG_EXPAND_SZ, "%ProgramFiles%\\Firebird\\"),
         "%ProgramFiles%\\Firebird\\"},
        {"text is cut at an inner NUL", StringValue(REG_SZ, std::string("C:\\Fire\0bird\\", 13)), "C:\\Fire"},
        {"string stored without its NUL", StoredValue{REG_SZ, std::string("C\0:\0\\\0", 6)}, "C:\\"},
        {"string of an odd byte count", StoredValue{REG_SZ, std::string("C\0:\0\\", 5)}, "C:"},
        {"value missing", std::nullopt, ""},
        {"string of size 0", StoredValue{REG_SZ, ""}, ""},
        {"other kind of size 0", StoredValue{REG_BINARY, ""}, ""},
        {"number", StoredValue{REG_DWORD, std::string("\x2a\0\0\0", 4)}, "Invalid data type for 'DefaultInstance'",
         true},
        // A look-alike ("e" for "é") would run another installation's gbak.
        {"a folder with a letter the code page lacks",
         StoredValue{REG_SZ, std::string("C\0:\0\\\0C\0a\0f\0\xe9\0\\\0\0\0", 18)},
         "'DefaultInstance' holds letters the system code page cannot represent", true},
    };
    // The runtime's first exception opens handles of its own, for good; raise
    // one before counting so that only the reader's handles are counted.
    try {
        throw std::runtime_error("first");
    } catch (const std::exception&) {
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestInstancesKey key(c.value);
        const int handlesBefore = OwnHandleCount();
        {
            auto reader = platform::CreateRegistryReader(platform::HkeyLocalMachine, platform::KeyReadAccess);
            ASSERT_TRUE(reader->KeyExists(FirebirdInstancesKey));
            ASSERT_TRUE(reader->OpenKey(FirebirdInstancesKey));
            if (c.raises) {
                try {
                    reader->ReadString(platform::DefaultInstanceValue);
                    ADD_FAILURE() << "no error raised";
                } catch (const platform::RegistryError& error) {
                    EXPECT_EQ(std::string(error.what()), c.expected);
                }
            } else {
                EXPECT_EQ(reader->ReadString(platform::DefaultInstanceValue), c.expected);
            }
        }
        // The reader has let go of the key on this path too.
        EXPECT_EQ(OwnHandleCount(), handlesBefore);
    }
}

TEST(WinRegistryReader, AbsentKeyNeitherExistsNorOpens)
{
    const int handlesBefore = OwnHandleCount();
    auto reader = platform::CreateRegistryReader(platform::HkeyLocalMachine, platform::KeyReadAccess);
    EXPECT_FALSE(reader->KeyExists(FirebirdInstancesKey));
    EXPECT_FALSE(reader->OpenKey(FirebirdInstancesKey));
    EXPECT_EQ(reader->ReadString(platform::DefaultInstanceValue), "");
    reader.reset();
    EXPECT_EQ(OwnHandleCount(), handlesBefore);
}

TEST(WinRegistryReader, ExistenceTestClosesTheKeyAtOnceAndOpenKeyHoldsIt)
{
    TestInstancesKey key(StringValue(REG_SZ, "C:\\Firebird\\"));
    auto reader = platform::CreateRegistryReader(platform::HkeyLocalMachine, platform::KeyReadAccess);
    const int handlesBefore = OwnHandleCount();
    ASSERT_TRUE(reader->KeyExists(FirebirdInstancesKey));
    EXPECT_EQ(OwnHandleCount(), handlesBefore);
    ASSERT_TRUE(reader->OpenKey(FirebirdInstancesKey));
    EXPECT_EQ(OwnHandleCount(), handlesBefore + 1);
    reader->CloseKey();
    EXPECT_EQ(OwnHandleCount(), handlesBefore);
}

}  // namespace
