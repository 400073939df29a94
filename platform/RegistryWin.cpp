#include "platform/Registry.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/WideTextWin.h"

namespace platform {
namespace {

// The predefined roots are small negative numbers sign-extended to a
// pointer: HKEY_LOCAL_MACHINE is (HKEY)(ULONG_PTR)(LONG)0x80000002.
HKEY RootKey(std::uint32_t root)
{
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

class WinRegistryReader final : public RegistryReader {
public:
    WinRegistryReader(std::uint32_t root, std::uint32_t access) : root_(RootKey(root)), access_(access) {}
    ~WinRegistryReader() override { CloseKey(); }
    WinRegistryReader(const WinRegistryReader&) = delete;
    WinRegistryReader& operator=(const WinRegistryReader&) = delete;

    bool KeyExists(const std::string& key) override
    {
        HKEY handle = nullptr;
        const REGSAM view = access_ & (KeyView64 | KeyView32);
        if (RegOpenKeyExW(root_, AnsiToWide(key).c_str(), 0, KeyExistenceTestAccess | view, &handle) != ERROR_SUCCESS)
            return false;
        RegCloseKey(handle);
        return true;
    }

    bool OpenKey(const std::string& key) override
    {
        CloseKey();
        return RegOpenKeyExW(root_, AnsiToWide(key).c_str(), 0, access_, &key_) == ERROR_SUCCESS;
    }

    std::string ReadString(const std::string& valueName) override
    {
        const std::wstring name = AnsiToWide(valueName);
        DWORD kind = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExW(key_, name.c_str(), nullptr, &kind, nullptr, &size) != ERROR_SUCCESS || size == 0)
            return {};
        if (kind != REG_SZ && kind != REG_EXPAND_SZ)
            throw RegistryError("Invalid data type for '" + valueName + "'");

        // Rounded up to whole characters: the data may come without its
        // closing NUL, or with an odd byte count.
        std::vector<wchar_t> data((size + 1) / sizeof(wchar_t), L'\0');
        DWORD fetched = size;
        if (RegQueryValueExW(key_, name.c_str(), nullptr, &kind, reinterpret_cast<BYTE*>(data.data()), &fetched) !=
            ERROR_SUCCESS)
            throw RegistryError("Failed to get data for '" + valueName + "'");
        // A trailing odd byte is half a character and is dropped; the text
        // ends at its first NUL. Used as stored: an expandable value keeps its
        // %references%.
        std::wstring text(data.data(), std::min<size_t>(fetched, size) / sizeof(wchar_t));
        text.resize(std::min(text.find(L'\0'), text.size()));
        // A folder narrowed to a look-alike would run another gbak.
        const std::optional<std::string> ansi = ExactAnsi(text);
        if (!ansi)
            throw RegistryError("'" + valueName + "' holds letters the system code page cannot represent");
        return *ansi;
    }

    void CloseKey() override
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY root_;
    REGSAM access_;
    HKEY key_ = nullptr;
};

}  // namespace

std::unique_ptr<RegistryReader> CreateRegistryReader(std::uint32_t root, std::uint32_t access)
{
    return std::make_unique<WinRegistryReader>(root, access);
}

}  // namespace platform
