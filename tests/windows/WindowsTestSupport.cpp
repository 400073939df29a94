#include "tests/windows/WindowsTestSupport.h"

#include <windows.h>
#include <winternl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"

namespace {

// SystemHandleInformation (16): every handle of every process.
struct HandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

}  // namespace

std::optional<std::string> Content(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return ReadFileBytes(path);
}

int OwnHandleCount()
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const NTSTATUS status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                                                         static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0)
            throw std::runtime_error("cannot list the handles of this process");
        break;
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    int own = 0;
    for (ULONG i = 0; i < table->count; ++i)
        own += table->entries[i].ownerProcessId == GetCurrentProcessId() ? 1 : 0;
    return own;
}

StoredValue StringValue(DWORD kind, const std::string& text)
{
    std::string bytes;
    for (const char c : text + '\0')
        bytes += {c, '\0'};
    return {kind, bytes};
}

TestInstancesKey::TestInstancesKey(const std::optional<StoredValue>& defaultInstance)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Firebird Project\\Firebird Server\\Instances", 0, nullptr,
                        0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the Firebird instances key");
    LONG written = ERROR_SUCCESS;
    if (defaultInstance)
        written = RegSetValueExW(key, L"DefaultInstance", 0, defaultInstance->kind,
                                 reinterpret_cast<const BYTE*>(defaultInstance->bytes.data()),
                                 static_cast<DWORD>(defaultInstance->bytes.size()));
    RegCloseKey(key);
    if (written != ERROR_SUCCESS)
        throw std::runtime_error("cannot write DefaultInstance");
}

TestInstancesKey::~TestInstancesKey()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Firebird Project");
}
