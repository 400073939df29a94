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

const std::string InstancesKey = "Software\\Firebird Project\\Firebird Server\\Instances";
const wchar_t* const InstancesKeyW = L"Software\\Firebird Project\\Firebird Server\\Instances";

// What "DefaultInstance" holds for one row; no kind at all: value missing.
struct StoredValue {
    DWORD kind;
    std::wstring data;  // written byte for byte, without an added NUL
    size_t byteCount;
};

StoredValue Text(DWORD kind, const std::wstring& text)
{
    // Stored with its closing NUL, as RegSetValueExW callers normally do.
    return {kind, text + L'\0', (text.size() + 1) * sizeof(wchar_t)};
}

class RegistryKeyTest : public testing::Test {
protected:
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Firebird Project"); }

    void WriteKey(const std::optional<StoredValue>& value)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, InstancesKeyW, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        if (value) {
            EXPECT_EQ(RegSetValueExW(key, L"DefaultInstance", 0, value->kind,
                                     reinterpret_cast<const BYTE*>(value->data.data()),
                                     static_cast<DWORD>(value->byteCount)),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
    }
};

TEST_F(RegistryKeyTest, DefaultInstanceIsReadAsStoredOrRaises)
{
    const DWORD number = 42;
    const struct {
        const char* name;
        std::optional<StoredValue> value;
        std::string expected;  // the text, or the error message when `raises`
        bool raises = false;
    } cases[] = {
        {"string with closing backslash", Text(REG_SZ, L"C:\\Program Files\\Firebird\\"),
         "C:\\Program Files\\Firebird\\"},
        {"string without closing backslash", Text(REG_SZ, L"C:\\Firebird"), "C:\\Firebird"},
        {"expandable string stays unexpanded", Text(REG_EXPAND_SZ, L"%ProgramFiles%\\Firebird\\"),
         "%ProgramFiles%\\Firebird\\"},
        {"text is cut at an inner NUL", Text(REG_SZ, std::wstring(L"C:\\Fire\0bird\\", 13)), "C:\\Fire"},
        {"string stored without its NUL", StoredValue{REG_SZ, L"C:\\FB\\", 6 * sizeof(wchar_t)}, "C:\\FB\\"},
        {"value missing", std::nullopt, ""},
        {"string of size 0", StoredValue{REG_SZ, L"", 0}, ""},
        {"other kind of size 0", StoredValue{REG_BINARY, L"", 0}, ""},
        {"number", StoredValue{REG_DWORD, std::wstring(reinterpret_cast<const wchar_t*>(&number), 2), sizeof number},
         "Invalid data type for 'DefaultInstance'", true},
    };
    // The runtime's first exception opens handles of its own, for good; raise
    // one before counting so that only the reader's handles are counted.
    try {
        throw std::runtime_error("first");
    } catch (const std::exception&) {
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteKey(c.value);
        const int handlesBefore = OwnHandleCount();
        {
            auto reader = platform::CreateRegistryReader(platform::HkeyLocalMachine, platform::KeyReadAccess);
            ASSERT_TRUE(reader->KeyExists(InstancesKey));
            ASSERT_TRUE(reader->OpenKey(InstancesKey));
            if (c.raises) {
                try {
                    reader->ReadString("DefaultInstance");
                    ADD_FAILURE() << "no error raised";
                } catch (const platform::RegistryError& error) {
                    EXPECT_EQ(std::string(error.what()), c.expected);
                }
            } else {
                EXPECT_EQ(reader->ReadString("DefaultInstance"), c.expected);
            }
        }
        // The reader has let go of the key on this path too.
        EXPECT_EQ(OwnHandleCount(), handlesBefore);
        TearDown();
    }
}

TEST_F(RegistryKeyTest, AbsentKeyNeitherExistsNorOpens)
{
    const int handlesBefore = OwnHandleCount();
    auto reader = platform::CreateRegistryReader(platform::HkeyLocalMachine, platform::KeyReadAccess);
    EXPECT_FALSE(reader->KeyExists(InstancesKey));
    EXPECT_FALSE(reader->OpenKey(InstancesKey));
    EXPECT_EQ(reader->ReadString("DefaultInstance"), "");
    reader.reset();
    EXPECT_EQ(OwnHandleCount(), handlesBefore);
}

TEST_F(RegistryKeyTest, ExistenceTestClosesTheKeyAtOnce)
{
    WriteKey(Text(REG_SZ, L"C:\\Firebird\\"));
    auto reader = platform::CreateRegistryReader(platform::HkeyLocalMachine, platform::KeyReadAccess);
    const int handlesBefore = OwnHandleCount();
    ASSERT_TRUE(reader->KeyExists(InstancesKey));
    EXPECT_EQ(OwnHandleCount(), handlesBefore);
    ASSERT_TRUE(reader->OpenKey(InstancesKey));
    EXPECT_EQ(OwnHandleCount(), handlesBefore + 1);
    reader->CloseKey();
    EXPECT_EQ(OwnHandleCount(), handlesBefore);
}

}  // namespace
