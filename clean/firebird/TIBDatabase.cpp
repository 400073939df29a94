#include "clean/firebird/TIBDatabase.h"

#include "clean/firebird/FbParameterBlocks.h"

TIBDatabase::TIBDatabase(fb::ClientLoader& client) : client_(client) {}

TIBDatabase::~TIBDatabase()
{
    if (!Connected())
        return;
    fb::StatusVector status{};
    Api().isc_detach_database(status, &handle_);
    handle_ = {};
}

void TIBDatabase::Open()
{
    if (databaseName_.empty())
        throw fb::Error("no database name");
    const fb::Api& api = Api();
    const std::string block = AttachParameterBlock(params_);

    fb::StatusVector status{};
    fb::Handle handle{};
    api.isc_attach_database(status, static_cast<short>(databaseName_.size()), databaseName_.data(), &handle,
                            static_cast<short>(block.size()), block.data());
    fb::Check(api, status, "isc_attach_database");
    handle_ = handle;
    ReadSqlDialect();
}

void TIBDatabase::ReadSqlDialect()
{
    const char items[] = {fb::InfoDbSqlDialect};
    char reply[512] = {};
    fb::StatusVector status{};
    const fb::Api& api = Api();
    api.isc_database_info(status, &handle_, sizeof items, items, sizeof reply, reply);
    fb::Check(api, status, "isc_database_info");

    // A reply without the item comes from a server too old to know it: such
    // databases are dialect 1.
    int databaseDialect = 1;
    if (reply[0] == fb::InfoDbSqlDialect) {
        const short length = static_cast<short>(api.isc_vax_integer(reply + 1, 2));
        if (length < 0 || length > static_cast<short>(sizeof reply - 3))
            throw fb::Error("malformed dialect reply");
        databaseDialect = api.isc_vax_integer(reply + 3, length);
    }
    if (databaseDialect < dialect_)
        dialect_ = static_cast<unsigned short>(databaseDialect);
}

void TIBDatabase::Close()
{
    if (!Connected())
        return;
    fb::StatusVector status{};
    Api().isc_detach_database(status, &handle_);
    try {
        fb::Check(Api(), status, "isc_detach_database");
    } catch (const fb::Error&) {
        fb::StatusVector ignored{};
        Api().isc_detach_database(ignored, &handle_);
        handle_ = {};
        throw;
    }
    handle_ = {};
}
