#include "tests/windows/WindowsTestSupport.h"

#include <windows.h>
#include <winternl.h>

#include <stdexcept>
#include <vector>

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
