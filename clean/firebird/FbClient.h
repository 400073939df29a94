#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/SharedLibrary.h"

// The slice of the Firebird client's published C API that the database stage
// calls, declared here so that the core needs no Firebird headers and builds
// for Windows as well.
namespace fb {

using Status = std::intptr_t;
inline constexpr int StatusLength = 20;
using StatusVector = Status[StatusLength];
// 32-bit handles on 64-bit platforms, pointers on 32-bit ones.
using Handle = std::conditional_t<sizeof(void*) == 8, unsigned int, void*>;

// One entry of isc_start_multiple's list: a database and its parameter block.
struct TransactionElement {
    Handle* database;
    int tpbLength;
    const char* tpb;
};

// The output descriptor of one statement (XSQLDA, version 1) with room for
// one column.
struct SqlVariable {
    short sqltype;
    short sqlscale;
    short sqlsubtype;
    short sqllen;
    char* sqldata;
    short* sqlind;
    short sqlname_length;
    char sqlname[32];
    short relname_length;
    char relname[32];
    short ownname_length;
    char ownname[32];
    short aliasname_length;
    char aliasname[32];
};
struct SqlDescriptorArea {
    short version;
    char sqldaid[8];
    std::int32_t sqldabc;
    short sqln;
    short sqld;
    SqlVariable sqlvar[1];
};
inline constexpr short SqldaVersion1 = 1;                // SQLDA_VERSION1
inline constexpr short SqlShort = 500;                   // SQL_SHORT; +1 when it may be NULL
inline constexpr short SqlInt64 = 580;                   // SQL_INT64; +1 when it may be NULL

inline constexpr unsigned short DsqlDrop = 2;            // DSQL_drop
inline constexpr char InfoDbSqlDialect = 62;             // isc_info_db_sql_dialect
inline constexpr char InfoSqlStmtType = 21;              // isc_info_sql_stmt_type
inline constexpr char InfoSqlRecords = 23;               // isc_info_sql_records
inline constexpr char InfoReqDeleteCount = 16;           // isc_info_req_delete_count
inline constexpr char InfoEnd = 1;                       // isc_info_end
inline constexpr int ShutConfirmation = 1;               // fb_shut_confirmation
inline constexpr int ShutReasonSignal = -5;              // fb_shutrsn_signal
inline constexpr unsigned short CancelRaise = 3;         // fb_cancel_raise
inline constexpr long long WishList = 335544378;         // isc_wish_list: the route cannot do it

#if defined(_WIN32) && !defined(_WIN64)
#define FB_API_CALL __stdcall
#else
#define FB_API_CALL
#endif

// FB_SHUTDOWN_CALLBACK: ibase.h gives it no calling convention of its own.
using ShutdownCallback = int (*)(int reason, int mask, void* arg);

struct Api {
    Status(FB_API_CALL* isc_attach_database)(Status*, short, const char*, Handle*, short, const char*);
    Status(FB_API_CALL* isc_database_info)(Status*, Handle*, short, const char*, short, char*);
    Status(FB_API_CALL* isc_start_multiple)(Status*, Handle*, short, void*);
    Status(FB_API_CALL* isc_dsql_alloc_statement2)(Status*, Handle*, Handle*);
    Status(FB_API_CALL* isc_dsql_prepare)(Status*, Handle*, Handle*, unsigned short, const char*, unsigned short,
                                          void*);
    Status(FB_API_CALL* isc_dsql_sql_info)(Status*, Handle*, short, const char*, short, char*);
    Status(FB_API_CALL* isc_dsql_execute)(Status*, Handle*, Handle*, unsigned short, const void*);
    Status(FB_API_CALL* isc_dsql_execute2)(Status*, Handle*, Handle*, unsigned short, const void*,
                                           const SqlDescriptorArea*);
    Status(FB_API_CALL* isc_commit_transaction)(Status*, Handle*);
    Status(FB_API_CALL* isc_rollback_transaction)(Status*, Handle*);
    Status(FB_API_CALL* isc_dsql_free_statement)(Status*, Handle*, unsigned short);
    Status(FB_API_CALL* isc_detach_database)(Status*, Handle*);
    std::int32_t(FB_API_CALL* isc_vax_integer)(const char*, short);
    // Optional: nullptr when the library does not export it.
    Status(FB_API_CALL* fb_shutdown_callback)(Status*, ShutdownCallback, int, void*);
    // Optional: the client's own text for a status vector, one message per
    // call; null when the library lacks it.
    std::int32_t(FB_API_CALL* fb_interpret)(char*, unsigned int, const Status**);
    // Optional: ends what the attachment is doing, from another thread; null
    // when the library lacks it.
    Status(FB_API_CALL* fb_cancel_operation)(Status*, Handle*, unsigned short);
    // Optional: the client's version text ("LI-V3.0.11.33703 Firebird 3.0"),
    // for the support log; null when the library lacks it.
    void(FB_API_CALL* isc_get_client_version)(char*);
    // Optional: only its presence counts, which marks a client of Firebird
    // 3.0 or later; null for older ones.
    void*(FB_API_CALL* fb_get_master_interface)();
};

#undef FB_API_CALL

// A failure of the client library: not loadable, an entry point missing, or a
// call that returned an error status. For the latter, FirebirdText() holds the
// client's own words, for the people supporting the operator.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& what, std::string firebirdText = {}, long long code = 0,
                   std::vector<long long> codes = {})
        : std::runtime_error(what), firebirdText_(std::move(firebirdText)), code_(code), codes_(std::move(codes))
    {
    }
    // The client's messages for the status, one a line; empty without
    // fb_interpret.
    const std::string& FirebirdText() const { return firebirdText_; }
    // The status's first error code (isc_...); 0 for failures of our own.
    long long Code() const { return code_; }
    // Whether `code` is among the status's error codes: the first one says
    // what failed, the later ones often why.
    bool Has(long long code) const;

private:
    std::string firebirdText_;
    long long code_;
    std::vector<long long> codes_;
};

// Throws Error naming `call` when `status` holds an error, with the client's
// text for it when `api` can give one.
void Check(const Api& api, const StatusVector& status, const char* call);

// Loads the client library on first use and keeps it for as long as the
// loader lives, so that nothing is loaded before the first connection.
class ClientLoader {
public:
    // Library file names, tried in order.
    explicit ClientLoader(std::vector<std::string> libraryNames);

    // The entry points; loads the library on the first call. Throws Error when
    // no name loads or a required entry point is missing (a later call tries
    // again). A freshly loaded library is told to refuse shutdowns caused by
    // signals (see FbSignalShutdown.h).
    const Api& Get();
    bool Loaded() const { return library_ != nullptr; }
    // Tries `libraryNames` from now on, when nothing is loaded yet; a loaded
    // library stays, since its engine threads may outlive an unload.
    void PreferLibraries(std::vector<std::string> libraryNames);
    // Which client was loaded, for the support log: its file and version as
    // far as the library tells them. Empty before the first load.
    std::string Description() const;

private:
    std::vector<std::string> libraryNames_;
    std::unique_ptr<platform::SharedLibrary> library_;
    Api api_{};
};

}  // namespace fb
