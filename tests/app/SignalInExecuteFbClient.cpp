// A Firebird client library for tests: the real libfbclient, except that
// isc_dsql_execute first sends the process the signal numbered in the
// environment variable QUENOR_SIGNAL_IN_EXECUTE, so that the signal arrives
// while a statement of the run is under way, after the client library was
// loaded and attached. Sent to the process, as a logout or a service stop
// sends it: the statement runs on a thread of its own, and a signal raised
// for that thread alone would never reach the one that takes them. Only that entry point is defined here; the loader finds all
// the others in the real library, which this one depends on.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

using Status = std::intptr_t;
using Handle = unsigned int;
using Execute = Status (*)(Status*, Handle*, Handle*, unsigned short, const void*);

Execute RealExecute()
{
    void* library = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    void* symbol = library ? dlsym(library, "isc_dsql_execute") : nullptr;
    if (symbol == nullptr)
        std::abort();
    dlclose(library);
    return reinterpret_cast<Execute>(symbol);
}

}  // namespace

extern "C" Status isc_dsql_execute(Status* status, Handle* transaction, Handle* statement, unsigned short dialect,
                                   const void* sqlda)
{
    if (const char* signal = std::getenv("QUENOR_SIGNAL_IN_EXECUTE"))
        kill(getpid(), std::atoi(signal));
    return RealExecute()(status, transaction, statement, dialect, sqlda);
}
