// Stands in for Firebird's client library in the window tests, loaded by
// Windows' own loader under the name gds32.dll. It answers the calls of the
// database stage as the real client answers them, with the same calling
// convention (__stdcall on 32-bit Windows, which a mismatch would turn into
// a corrupted stack), and keeps no database at all.
//
// QUENOR_FB_STAND_IN_LOG: a file to which each call appends its name (and,
// for a prepare, the statement text). QUENOR_FB_STAND_IN_FAIL: the name of
// the one entry point that answers with an error status.
// QUENOR_FB_STAND_IN_SLOW_DELETE: when set, the execute of a DELETE takes
// as long as a delete of millions of rows, up to a minute (or the
// milliseconds the value gives, when above 1), unless fb_cancel_operation
// ends it from another thread first, as the engine ends it: with
// isc_cancelled. QUENOR_FB_STAND_IN_CANCEL_REFUSED: when set,
// fb_cancel_operation answers as the local protocol to a server does, with
// isc_wish_list, and the statement goes on to its end.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#if defined(_WIN64)
#define API_CALL
using Handle = unsigned int;
#else
#define API_CALL __stdcall
using Handle = void*;
#endif

using Status = std::intptr_t;

namespace {

constexpr Status ArgGds = 1;             // isc_arg_gds
constexpr Status SomeError = 335544344;  // isc_io_error
constexpr Status Cancelled = 335544794;  // isc_cancelled
constexpr Status LoginRefused = 335544472;  // isc_login
constexpr Status WishList = 335544378;      // isc_wish_list
constexpr DWORD SlowDeleteMs = 60000;
constexpr char InfoDbSqlDialect = 62;
constexpr char InfoSqlStmtType = 21;
constexpr char InfoSqlRecords = 23;
constexpr char InfoReqUpdateCount = 15;
constexpr char InfoReqDeleteCount = 16;
constexpr char InfoEnd = 1;
constexpr int DeleteStatement = 5;  // isc_info_sql_stmt_delete
constexpr int SelectStatement = 1;  // isc_info_sql_stmt_select
int lastStatementType = DeleteStatement;
bool lastIsDelete = false;
// What the last delete "deleted": a count of its own for each log table, so
// that one read for the other shows.
int lastDeleteCount = 0;
std::uintptr_t nextHandle = 0x100;

Handle NewHandle()
{
    nextHandle += 4;
    return (Handle)nextHandle;
}

// The process's environment as SetEnvironmentVariable leaves it, which the C
// runtime's copy does not follow.
std::string Environment(const char* name)
{
    char value[1024] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

void Log(const char* call, const std::string& detail = {})
{
    if (const std::string path = Environment("QUENOR_FB_STAND_IN_LOG"); !path.empty()) {
        std::ofstream log(path, std::ios::app);
        log << call;
        if (!detail.empty())
            log << ' ' << detail;
        log << '\n';
    }
}

// The file the last attachment named, whose size stands for its rows.
std::string attachedFile;
bool lastIsCount = false;
constexpr short SqlInt64 = 580;  // SQL_INT64

std::int64_t AttachedFileSize()
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(attachedFile.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Set by fb_cancel_operation, waited for by a slow delete.
HANDLE CancelEvent()
{
    static const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// A file named "refuses-login" beside this copy of the library makes it a
// client whose login the server refuses (an older client against a newer
// server's authentication), whatever the other copies loaded beside it do.
bool RefusesLogin()
{
    HMODULE self = nullptr;
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&RefusesLogin), &self) ||
        GetModuleFileNameW(self, path, MAX_PATH) == 0)
        return false;
    std::wstring marker(path);
    marker.resize(marker.find_last_of(L'\\') + 1);
    marker += L"refuses-login";
    return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Fills `status` as the client does and returns its error code.
Status Answer(Status* status, const char* call)
{
    Log(call);
    const bool fail = Environment("QUENOR_FB_STAND_IN_FAIL") == call;
    const bool loginRefused = std::strcmp(call, "isc_attach_database") == 0 && RefusesLogin();
    status[0] = ArgGds;
    status[1] = loginRefused ? LoginRefused : fail ? SomeError : 0;
    status[2] = 0;
    return status[1];
}

void PutShort(char* at, int value)
{
    at[0] = static_cast<char>(value & 0xFF);
    at[1] = static_cast<char>((value >> 8) & 0xFF);
}

}  // namespace

extern "C" {

__declspec(dllexport) Status API_CALL
    isc_attach_database(Status* status, short length, const char* name, Handle* db, short, const char*)
{
    attachedFile = length == 0 ? std::string(name) : std::string(name, static_cast<std::size_t>(length));
    const Status result = Answer(status, "isc_attach_database");
    if (result == 0)
        *db = NewHandle();
    return result;
}

__declspec(dllexport) Status API_CALL
    isc_database_info(Status* status, Handle*, short, const char* items, short, char* reply)
{
    if (items[0] == InfoDbSqlDialect) {
        reply[0] = InfoDbSqlDialect;
        PutShort(reply + 1, 1);
        reply[3] = 3;
        reply[4] = InfoEnd;
    }
    return Answer(status, "isc_database_info");
}

__declspec(dllexport) Status API_CALL isc_start_multiple(Status* status, Handle* transaction, short, void*)
{
    const Status result = Answer(status, "isc_start_multiple");
    if (result == 0)
        *transaction = NewHandle();
    return result;
}

__declspec(dllexport) Status API_CALL isc_dsql_alloc_statement2(Status* status, Handle*, Handle* statement)
{
    const Status result = Answer(status, "isc_dsql_alloc_statement2");
    if (result == 0)
        *statement = NewHandle();
    return result;
}

__declspec(dllexport) Status API_CALL
    isc_dsql_prepare(Status* status, Handle*, Handle*, unsigned short length, const char* text, unsigned short, void*)
{
    const std::string statement = length == 0 ? std::string(text) : std::string(text, length);
    lastStatementType = statement.rfind("SELECT", 0) == 0 ? SelectStatement : DeleteStatement;
    lastIsDelete = statement.rfind("DELETE", 0) == 0;
    lastIsCount = statement.find("COUNT(") != std::string::npos;
    lastDeleteCount = statement.rfind("DELETE FROM log ", 0) == 0 ? 1234 : 56;
    Log("statement", statement);
    return Answer(status, "isc_dsql_prepare");
}

__declspec(dllexport) Status API_CALL
    isc_dsql_sql_info(Status* status, Handle*, short, const char* items, short, char* reply)
{
    if (items[0] == InfoSqlStmtType) {
        reply[0] = InfoSqlStmtType;
        PutShort(reply + 1, 4);
        PutShort(reply + 3, lastStatementType);
        PutShort(reply + 5, 0);
        reply[7] = InfoEnd;
    } else if (items[0] == InfoSqlRecords) {
        // As the engine answers: each count as a four-byte value.
        reply[0] = InfoSqlRecords;
        PutShort(reply + 1, 15);
        reply[3] = InfoReqUpdateCount;
        PutShort(reply + 4, 4);
        PutShort(reply + 6, 0);
        PutShort(reply + 8, 0);
        reply[10] = InfoReqDeleteCount;
        PutShort(reply + 11, 4);
        PutShort(reply + 13, lastDeleteCount);
        PutShort(reply + 15, 0);
        reply[17] = InfoEnd;
    }
    return Answer(status, "isc_dsql_sql_info");
}

__declspec(dllexport) Status API_CALL isc_dsql_execute(Status* status, Handle*, Handle*, unsigned short, const void*)
{
    if (lastIsDelete && !Environment("QUENOR_FB_STAND_IN_SLOW_DELETE").empty()) {
        // A cancel is heard only while a statement runs, as the engine's.
        ResetEvent(CancelEvent());
        Log("isc_dsql_execute", "waits");
        const int asked = std::atoi(Environment("QUENOR_FB_STAND_IN_SLOW_DELETE").c_str());
        const DWORD slowDeleteMs = asked > 1 ? static_cast<DWORD>(asked) : SlowDeleteMs;
        if (WaitForSingleObject(CancelEvent(), slowDeleteMs) == WAIT_OBJECT_0) {
            Log("isc_dsql_execute", "cancelled");
            status[0] = ArgGds;
            status[1] = Cancelled;
            status[2] = 0;
            return Cancelled;
        }
    }
    return Answer(status, "isc_dsql_execute");
}

__declspec(dllexport) Status API_CALL fb_cancel_operation(Status* status, Handle*, unsigned short)
{
    if (!Environment("QUENOR_FB_STAND_IN_CANCEL_REFUSED").empty()) {
        Log("fb_cancel_operation", "refused");
        status[0] = ArgGds;
        status[1] = WishList;
        status[2] = 0;
        return WishList;
    }
    SetEvent(CancelEvent());
    return Answer(status, "fb_cancel_operation");
}

// The one column a statement returns here is SMALLINT MON$SHUTDOWN_MODE:
// 0, the database is online; or BIGINT COUNT(*): the attached file's size.
struct OutputDescriptor {
    short version;
    char sqldaid[8];
    std::int32_t sqldabc;
    short sqln;
    short sqld;
    struct {
        short sqltype, sqlscale, sqlsubtype, sqllen;
        char* sqldata;
        short* sqlind;
    } sqlvar[1];
};

__declspec(dllexport) Status API_CALL
    isc_dsql_execute2(Status* status, Handle*, Handle*, unsigned short, const void*, const OutputDescriptor* output)
{
    if (output != nullptr && output->sqld >= 1) {
        if ((output->sqlvar[0].sqltype & ~1) == SqlInt64) {
            // A count of rows, as many as the file holds bytes: a file cut
            // short holds fewer.
            const std::int64_t rows = lastIsCount ? AttachedFileSize() : 0;
            std::memcpy(output->sqlvar[0].sqldata, &rows, sizeof rows);
        } else {
            std::memset(output->sqlvar[0].sqldata, 0, sizeof(short));
        }
        if (output->sqlvar[0].sqlind != nullptr)
            *output->sqlvar[0].sqlind = 0;
    }
    return Answer(status, "isc_dsql_execute2");
}

__declspec(dllexport) Status API_CALL isc_commit_transaction(Status* status, Handle* transaction)
{
    const Status result = Answer(status, "isc_commit_transaction");
    if (result == 0)
        *transaction = Handle{};
    return result;
}

__declspec(dllexport) Status API_CALL isc_rollback_transaction(Status* status, Handle* transaction)
{
    const Status result = Answer(status, "isc_rollback_transaction");
    if (result == 0)
        *transaction = Handle{};
    return result;
}

__declspec(dllexport) Status API_CALL isc_dsql_free_statement(Status* status, Handle* statement, unsigned short)
{
    const Status result = Answer(status, "isc_dsql_free_statement");
    if (result == 0)
        *statement = Handle{};
    return result;
}

__declspec(dllexport) Status API_CALL isc_detach_database(Status* status, Handle* db)
{
    const Status result = Answer(status, "isc_detach_database");
    if (result == 0)
        *db = Handle{};
    return result;
}

__declspec(dllexport) void API_CALL isc_get_client_version(char* version)
{
    std::strcpy(version, "WI-V0.0.0.0 Firebird stand-in");
}

__declspec(dllexport) std::int32_t API_CALL isc_vax_integer(const char* bytes, short length)
{
    std::int32_t value = 0;
    for (short i = length - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

}  // extern "C"
