#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace platform {

// Windows' numbers for the one root and the two access masks the tool uses.
inline constexpr std::uint32_t HkeyLocalMachine = 0x80000002;
inline constexpr std::uint32_t KeyExistenceTestAccess = 0x20009;  // STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS
inline constexpr std::uint32_t KeyReadAccess = 0x20019;           // KEY_READ
// Added to an access mask: which of the two registry views a key is read
// in, the 64-bit one or the 32-bit one (WOW6432Node) that 32-bit programs
// see by default on 64-bit Windows.
inline constexpr std::uint32_t KeyView64 = 0x0100;  // KEY_WOW64_64KEY
inline constexpr std::uint32_t KeyView32 = 0x0200;  // KEY_WOW64_32KEY

// The one key and value through which the tool finds its Firebird installation.
inline constexpr const char* FirebirdInstancesKey = "Software\\Firebird Project\\Firebird Server\\Instances";
inline constexpr const char* DefaultInstanceValue = "DefaultInstance";

// Raised by ReadString for a value of a kind other than a string, or whose
// data cannot be fetched; the message is shown to the operator as it is.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Read-only access to one registry root. Holds at most one open key, which is
// released by CloseKey or by destruction, whichever comes first.
class RegistryReader {
public:
    virtual ~RegistryReader() = default;

    // Opens `key` with KeyExistenceTestAccess and closes it again at once.
    virtual bool KeyExists(const std::string& key) = 0;
    // Opens `key` with the reader's access; false when it does not open.
    virtual bool OpenKey(const std::string& key) = 0;
    // The text of a string value of the open key, cut at its first NUL and
    // converted to the 8-bit code page; expandable strings are not expanded.
    // Empty when the value is missing or its data is empty.
    // Throws RegistryError "Invalid data type for '<name>'" for another kind,
    // "Failed to get data for '<name>'" when the data cannot be fetched.
    virtual std::string ReadString(const std::string& valueName) = 0;
    virtual void CloseKey() = 0;
};

// The platform's reader for `root`, opening keys with `access`; the view
// bits of `access` apply to the existence test too. Windows builds only:
// elsewhere there is no registry, and nothing asks for one.
std::unique_ptr<RegistryReader> CreateRegistryReader(std::uint32_t root, std::uint32_t access);

}  // namespace platform
