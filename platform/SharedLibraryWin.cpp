#include "platform/SharedLibrary.h"

#include <windows.h>

#include "platform/WideTextWin.h"

namespace platform {
namespace {

class WinSharedLibrary final : public SharedLibrary {
public:
    explicit WinSharedLibrary(HMODULE module) : module_(module) {}
    ~WinSharedLibrary() override { FreeLibrary(module_); }
    WinSharedLibrary(const WinSharedLibrary&) = delete;
    WinSharedLibrary& operator=(const WinSharedLibrary&) = delete;

    void* Symbol(const char* name) const override
    {
        return reinterpret_cast<void*>(GetProcAddress(module_, name));
    }

    std::string FilePath() const override
    {
        // A name longer than the buffer comes back cut to its size; asked
        // again with more room, up to the longest a path can be.
        for (DWORD room = MAX_PATH; room <= 65536; room *= 2) {
            std::wstring path(room, L'\0');
            const DWORD length = GetModuleFileNameW(module_, path.data(), room);
            if (length == 0)
                return {};
            if (length < room) {
                path.resize(length);
                return WideToAnsi(path);
            }
        }
        return {};
    }

private:
    HMODULE module_;
};

}  // namespace

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& fileName)
{
    // A client loaded from its installation by its path needs the DLLs
    // beside it (its ICU, its runtime) found there first, not in whatever
    // folder the system searches first; a bare name is searched for as usual.
    const bool hasFolder = fileName.find_first_of("\\/") != std::string::npos;
    HMODULE module = hasFolder ? LoadLibraryExW(AnsiToWide(fileName).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                               : LoadLibraryA(fileName.c_str());
    if (module == nullptr)
        return nullptr;
    return std::make_unique<WinSharedLibrary>(module);
}

std::vector<std::string> FirebirdClientLibraryNames()
{
    // gds32.dll is the name Firebird's installer can give the client for
    // programs built against InterBase; fbclient.dll is the library's own name.
    return {"gds32.dll", "fbclient.dll"};
}

}  // namespace platform
