#include "platform/FirebirdInstallation.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "platform/ToolFile.h"
#include "platform/UniqueHandleWin.h"
#include "platform/WideTextWin.h"

namespace platform {
namespace {

// Reads `size` bytes at `offset`, all of them or nothing.
bool ReadAt(HANDLE file, std::uint32_t offset, void* into, DWORD size)
{
    OVERLAPPED at{};
    at.Offset = offset;
    DWORD read = 0;
    return ReadFile(file, into, size, &read, &at) && read == size;
}

}  // namespace

FirebirdInstallation FindFirebirdInstallation()
{
    return FindInstallationInRegistry(
        [](ProgramBits view) {
            return CreateRegistryReader(HkeyLocalMachine,
                                        KeyReadAccess | (view == ProgramBits::Bits64 ? KeyView64 : KeyView32));
        },
        ThisProgramBits);
}

std::vector<std::string> ClientFileCandidates(const std::string& folder)
{
    if (folder.empty())
        return {};
    const std::string root = InstallationRoot(folder);
    // 3.0 and later beside the server; 2.5 in bin; the 32-bit client that a
    // 64-bit server ships for 32-bit programs in WOW64.
    return {root + "fbclient.dll", root + "bin\\fbclient.dll", root + "WOW64\\fbclient.dll"};
}

std::optional<ProgramBits> LibraryBits(const std::string& path)
{
    UniqueHandle file(CreateFileW(AnsiToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return std::nullopt;
    // The DOS header's e_lfanew points at "PE\0\0", which the COFF header's
    // machine type follows.
    std::uint32_t headerAt = 0;
    char signature[4] = {};
    std::uint16_t machine = 0;
    if (!ReadAt(file.Get(), 0x3c, &headerAt, sizeof headerAt) ||
        !ReadAt(file.Get(), headerAt, signature, sizeof signature) || std::memcmp(signature, "PE\0\0", 4) != 0 ||
        !ReadAt(file.Get(), headerAt + 4, &machine, sizeof machine))
        return std::nullopt;
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
        return ProgramBits::Bits32;
    case IMAGE_FILE_MACHINE_AMD64:
    case 0xAA64:  // IMAGE_FILE_MACHINE_ARM64
        return ProgramBits::Bits64;
    default:
        return std::nullopt;
    }
}

}  // namespace platform
