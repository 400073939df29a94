#include "tests/windows/WindowsTestSupport.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <memory>
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

std::string DaclText(const std::string& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    const std::unique_ptr<void, decltype(&LocalFree)> freeDescriptor(descriptor, &LocalFree);
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr))
        return {};
    const std::unique_ptr<void, decltype(&LocalFree)> freeText(text, &LocalFree);
    return text;
}

bool SetDacl(const std::string& path, const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const std::unique_ptr<void, decltype(&LocalFree)> freeDescriptor(descriptor, &LocalFree);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    return SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, what, nullptr, nullptr, dacl,
                                 nullptr) == ERROR_SUCCESS;
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

TestInstancesKey::TestInstancesKey(const std::optional<StoredValue>& defaultInstance, REGSAM view) : view_(view)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Firebird Project\\Firebird Server\\Instances", 0, nullptr,
                        0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
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
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view_, &software) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(software, L"Firebird Project");
    RegCloseKey(software);
}

int OwnHandleCountSettledAt(int most)
{
    int count = OwnHandleCount();
    for (int tries = 0; count > most && tries < 100; ++tries) {
        Sleep(50);
        count = OwnHandleCount();
    }
    return count;
}
