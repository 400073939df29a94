#include "clean/firebird/TIBSQL.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "clean/firebird/FbParameterBlocks.h"

TIBSQL::TIBSQL(TIBDatabase& database, TIBTransaction& transaction) : database_(database), transaction_(transaction)
{
}

TIBSQL::~TIBSQL()
{
    if (handle_ == fb::Handle{} || !database_.Connected())
        return;
    fb::StatusVector ignored{};
    database_.Api().isc_dsql_free_statement(ignored, &handle_, fb::DsqlDrop);
}

void TIBSQL::SetSQL(std::string text)
{
    FreeHandle();
    text_ = std::move(text);
}

void TIBSQL::FreeHandle()
{
    if (handle_ == fb::Handle{})
        return;
    fb::StatusVector status{};
    database_.Api().isc_dsql_free_statement(status, &handle_, fb::DsqlDrop);
    handle_ = {};
    prepared_ = false;
    fb::Check(database_.Api(), status, "isc_dsql_free_statement");
}

void TIBSQL::Prepare()
{
    const fb::Api& api = database_.Api();
    fb::StatusVector status{};

    if (handle_ == fb::Handle{}) {
        api.isc_dsql_alloc_statement2(status, database_.Handle(), &handle_);
        fb::Check(api, status, "isc_dsql_alloc_statement2");
    }

    const std::string statement = StatementBytes(text_);
    api.isc_dsql_prepare(status, transaction_.Handle(), &handle_, 0, statement.data(), database_.SqlDialect(), nullptr);
    fb::Check(api, status, "isc_dsql_prepare");
    prepared_ = true;

    const char items[] = {fb::InfoSqlStmtType};
    char reply[8] = {};
    api.isc_dsql_sql_info(status, &handle_, sizeof items, items, sizeof reply, reply);
    fb::Check(api, status, "isc_dsql_sql_info");
    if (reply[0] != fb::InfoSqlStmtType)
        throw fb::Error("the statement type is unknown");
}

void TIBSQL::ExecQuery()
{
    Prepare();
    fb::StatusVector status{};
    database_.Api().isc_dsql_execute(status, transaction_.Handle(), &handle_, database_.SqlDialect(), nullptr);
    fb::Check(database_.Api(), status, "isc_dsql_execute");
}

short TIBSQL::ExecSmallint()
{
    short value = 0;
    ExecSingleValue(fb::SqlShort, &value, sizeof value);
    return value;
}

long long TIBSQL::ExecBigint()
{
    std::int64_t value = 0;
    ExecSingleValue(fb::SqlInt64, &value, sizeof value);
    return value;
}

void TIBSQL::ExecSingleValue(short sqlType, void* value, std::size_t size)
{
    Prepare();
    short nullIndicator = 0;
    fb::SqlDescriptorArea output{};
    output.version = fb::SqldaVersion1;
    output.sqln = 1;
    output.sqld = 1;
    output.sqlvar[0].sqltype = static_cast<short>(sqlType + 1);
    output.sqlvar[0].sqllen = static_cast<short>(size);
    output.sqlvar[0].sqldata = static_cast<char*>(value);
    output.sqlvar[0].sqlind = &nullIndicator;
    fb::StatusVector status{};
    database_.Api().isc_dsql_execute2(status, transaction_.Handle(), &handle_, database_.SqlDialect(), nullptr,
                                      &output);
    fb::Check(database_.Api(), status, "isc_dsql_execute2");
    if (nullIndicator < 0)
        std::memset(value, 0, size);
}

long long TIBSQL::RowsDeleted()
{
    const fb::Api& api = database_.Api();
    const char items[] = {fb::InfoSqlRecords};
    char reply[64] = {};
    fb::StatusVector status{};
    api.isc_dsql_sql_info(status, &handle_, sizeof items, items, sizeof reply, reply);
    fb::Check(api, status, "isc_dsql_sql_info");
    if (reply[0] != fb::InfoSqlRecords)
        throw fb::Error("the statement's record counts are unknown");
    // The counts' block: items of a code, a two-byte length and a value of
    // that length, up to isc_info_end.
    const int length = api.isc_vax_integer(reply + 1, 2);
    const char* item = reply + 3;
    const char* const end = reply + std::min<int>(3 + length, sizeof reply);
    while (item + 3 <= end && *item != fb::InfoEnd) {
        const int size = api.isc_vax_integer(item + 1, 2);
        if (item + 3 + size > end)
            break;
        if (*item == fb::InfoReqDeleteCount && size <= 8) {
            // Little-endian, four bytes or, from newer engines, eight.
            unsigned long long count = 0;
            for (int i = size - 1; i >= 0; --i)
                count = (count << 8) | static_cast<unsigned char>(item[3 + i]);
            return static_cast<long long>(count);
        }
        item += 3 + size;
    }
    throw fb::Error("the statement's delete count is missing");
}
