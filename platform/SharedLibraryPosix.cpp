#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <link.h>

namespace platform {
namespace {

class PosixSharedLibrary final : public SharedLibrary {
public:
    explicit PosixSharedLibrary(void* handle) : handle_(handle) {}
    ~PosixSharedLibrary() override { dlclose(handle_); }
    PosixSharedLibrary(const PosixSharedLibrary&) = delete;
    PosixSharedLibrary& operator=(const PosixSharedLibrary&) = delete;

    void* Symbol(const char* name) const override { return dlsym(handle_, name); }

    std::string FilePath() const override
    {
        link_map* map = nullptr;
        if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
            return {};
        return map->l_name;
    }

private:
    void* handle_;
};

}  // namespace

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& fileName)
{
    // RTLD_NODELETE: the Firebird client starts engine threads that outlive
    // the last detach, so its code must stay mapped after dlclose.
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr)
        return nullptr;
    return std::make_unique<PosixSharedLibrary>(handle);
}

std::vector<std::string> FirebirdClientLibraryNames()
{
    return {"libfbclient.so.2", "libfbclient.so"};
}

}  // namespace platform
