#include "clean/firebird/FbClient.h"

#include <algorithm>
#include <utility>

#include "clean/firebird/FbSignalShutdown.h"

namespace fb {

namespace {

std::string InterpretStatus(const Api& api, const StatusVector& status)
{
    if (api.fb_interpret == nullptr)
        return {};
    std::string text;
    const Status* next = status;
    // The client's messages are short; 512 bytes is what its own tools use.
    char message[512];
    // fb_interpret moves `next` along the vector; the bound keeps a malformed
    // one from looping.
    for (int i = 0; i < StatusLength && api.fb_interpret(message, sizeof message, &next) > 0; ++i) {
        if (!text.empty())
            text += '\n';
        text += message;
    }
    return text;
}

// The error codes of a status vector, in order. Each argument takes one slot
// after its type but a counted string, which takes two.
std::vector<long long> ErrorCodes(const StatusVector& status)
{
    constexpr Status ArgEnd = 0;
    constexpr Status ArgGds = 1;
    constexpr Status ArgCountedString = 3;
    std::vector<long long> codes;
    int i = 0;
    while (i + 1 < StatusLength && status[i] != ArgEnd) {
        if (status[i] == ArgGds)
            codes.push_back(static_cast<long long>(status[i + 1]));
        i += status[i] == ArgCountedString ? 3 : 2;
    }
    return codes;
}

}  // namespace

bool Error::Has(long long code) const
{
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

void Check(const Api& api, const StatusVector& status, const char* call)
{
    if (status[0] == 1 && status[1] != 0)
        throw Error(std::string(call) + " failed with status " + std::to_string(status[1]),
                    InterpretStatus(api, status), static_cast<long long>(status[1]), ErrorCodes(status));
}

ClientLoader::ClientLoader(std::vector<std::string> libraryNames) : libraryNames_(std::move(libraryNames)) {}

void ClientLoader::PreferLibraries(std::vector<std::string> libraryNames)
{
    if (!library_)
        libraryNames_ = std::move(libraryNames);
}

namespace {

template <typename Function>
void Resolve(const platform::SharedLibrary& library, Function& target, const char* name)
{
    void* address = library.Symbol(name);
    if (address == nullptr)
        throw Error(std::string("the Firebird client library lacks ") + name);
    target = reinterpret_cast<Function>(address);
}

}  // namespace

const Api& ClientLoader::Get()
{
    if (library_)
        return api_;

    std::unique_ptr<platform::SharedLibrary> library;
    for (const std::string& name : libraryNames_) {
        library = platform::LoadSharedLibrary(name);
        if (library)
            break;
    }
    if (!library)
        throw Error("the Firebird client library cannot be loaded");

    // Fill a separate table so that a library lacking one entry point leaves
    // nothing half-resolved behind.
    Api api{};
    Resolve(*library, api.isc_attach_database, "isc_attach_database");
    Resolve(*library, api.isc_database_info, "isc_database_info");
    Resolve(*library, api.isc_start_multiple, "isc_start_multiple");
    Resolve(*library, api.isc_dsql_alloc_statement2, "isc_dsql_alloc_statement2");
    Resolve(*library, api.isc_dsql_prepare, "isc_dsql_prepare");
    Resolve(*library, api.isc_dsql_sql_info, "isc_dsql_sql_info");
    Resolve(*library, api.isc_dsql_execute, "isc_dsql_execute");
    Resolve(*library, api.isc_dsql_execute2, "isc_dsql_execute2");
    Resolve(*library, api.isc_commit_transaction, "isc_commit_transaction");
    Resolve(*library, api.isc_rollback_transaction, "isc_rollback_transaction");
    Resolve(*library, api.isc_dsql_free_statement, "isc_dsql_free_statement");
    Resolve(*library, api.isc_detach_database, "isc_detach_database");
    Resolve(*library, api.isc_vax_integer, "isc_vax_integer");
    api.fb_shutdown_callback =
        reinterpret_cast<decltype(api.fb_shutdown_callback)>(library->Symbol("fb_shutdown_callback"));
    RefuseSignalShutdown(api);
    // Older or stripped-down clients may lack it; errors then carry no text.
    api.fb_interpret = reinterpret_cast<decltype(api.fb_interpret)>(library->Symbol("fb_interpret"));
    api.fb_cancel_operation =
        reinterpret_cast<decltype(api.fb_cancel_operation)>(library->Symbol("fb_cancel_operation"));
    api.isc_get_client_version =
        reinterpret_cast<decltype(api.isc_get_client_version)>(library->Symbol("isc_get_client_version"));
    api.fb_get_master_interface =
        reinterpret_cast<decltype(api.fb_get_master_interface)>(library->Symbol("fb_get_master_interface"));

    api_ = api;
    library_ = std::move(library);
    return api_;
}

std::string ClientLoader::Description() const
{
    if (!library_)
        return {};
    std::string file = library_->FilePath();
    if (file.empty())
        file = "(the system does not say which file)";
    // The client writes a short text; the buffer is far larger than any
    // version it has ever written.
    char version[256] = {};
    if (api_.isc_get_client_version != nullptr)
        api_.isc_get_client_version(version);
    return file + ", version " + (version[0] != '\0' ? std::string(version) : std::string("unknown"));
}

}  // namespace fb
