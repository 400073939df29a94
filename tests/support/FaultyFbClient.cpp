// A Firebird client library for tests: every entry point forwards to the
// real libfbclient, except for the faults a test arms. A detach that detaches
// for real and then reports a failure: no real cause makes a detach fail on
// a local file, yet the run must handle it. A cancel refused as the local
// protocol to a server refuses it (isc_wish_list), counted, so that a test
// sees how often the run asks.
#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace {

using Status = std::intptr_t;
using Handle = unsigned int;

bool failDetach = false;
bool refuseCancel = false;
std::atomic<int> cancelCalls{0};

void* Real(const char* name)
{
    static void* library = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    void* symbol = library ? dlsym(library, name) : nullptr;
    if (symbol == nullptr)
        std::abort();
    return symbol;
}

template <typename Function>
Function RealFunction(const char* name)
{
    return reinterpret_cast<Function>(Real(name));
}

}  // namespace

extern "C" {

void quenor_fail_detach(bool fail)
{
    failDetach = fail;
}

Status isc_detach_database(Status* status, Handle* database)
{
    const Status result = RealFunction<Status (*)(Status*, Handle*)>("isc_detach_database")(status, database);
    if (!failDetach || result != 0)
        return result;
    status[0] = 1;
    status[1] = 335544721;  // isc_network_error
    status[2] = 0;
    return status[1];
}

void quenor_refuse_cancel(bool refuse)
{
    refuseCancel = refuse;
    cancelCalls = 0;
}

int quenor_cancel_calls()
{
    return cancelCalls;
}

Status fb_cancel_operation(Status* status, Handle* database, unsigned short option)
{
    ++cancelCalls;
    if (!refuseCancel)
        return RealFunction<Status (*)(Status*, Handle*, unsigned short)>("fb_cancel_operation")(status, database,
                                                                                                 option);
    status[0] = 1;
    status[1] = 335544378;  // isc_wish_list
    status[2] = 0;
    return status[1];
}

#define FORWARD(name, signature, ...) \
    Status name signature { return RealFunction<Status(*) signature>(#name)(__VA_ARGS__); }

FORWARD(isc_attach_database, (Status * s, short n, const char* f, Handle* d, short l, const char* b), s, n, f, d, l, b)
FORWARD(isc_database_info, (Status * s, Handle* d, short n, const char* i, short l, char* r), s, d, n, i, l, r)
FORWARD(isc_start_multiple, (Status * s, Handle* t, short n, void* v), s, t, n, v)
FORWARD(isc_dsql_alloc_statement2, (Status * s, Handle* d, Handle* h), s, d, h)
FORWARD(isc_dsql_prepare, (Status * s, Handle* t, Handle* h, unsigned short l, const char* q, unsigned short d, void* x),
        s, t, h, l, q, d, x)
FORWARD(isc_dsql_sql_info, (Status * s, Handle* h, short n, const char* i, short l, char* r), s, h, n, i, l, r)
FORWARD(isc_dsql_execute, (Status * s, Handle* t, Handle* h, unsigned short d, const void* x), s, t, h, d, x)
FORWARD(isc_dsql_execute2,
        (Status * s, Handle* t, Handle* h, unsigned short d, const void* x, const void* o), s, t, h, d, x, o)
FORWARD(isc_commit_transaction, (Status * s, Handle* t), s, t)
FORWARD(isc_rollback_transaction, (Status * s, Handle* t), s, t)
FORWARD(isc_dsql_free_statement, (Status * s, Handle* h, unsigned short o), s, h, o)

int isc_vax_integer(const char* bytes, short length)
{
    return RealFunction<int (*)(const char*, short)>("isc_vax_integer")(bytes, length);
}

}  // extern "C"
