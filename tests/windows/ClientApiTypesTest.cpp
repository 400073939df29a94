// The core declares the client's entry points itself (clean/firebird/FbClient.h).
// Compiled against Firebird's own published header for this target, every
// entry point whose parameters the core spells with the same types must have
// exactly the client's type, calling convention included: on 32-bit Windows
// the client's functions are __stdcall, and a caller that got this wrong would
// corrupt its stack on the first call. The 32-bit build proves it when it
// compiles, where no 32-bit program can be run.
#include "/usr/include/ibase.h"

#include <type_traits>

#include "clean/firebird/FbClient.h"

namespace {

#define SAME_AS_THE_CLIENT(name) \
    static_assert(std::is_same_v<decltype(fb::Api::name), decltype(&::name)>, #name " differs from ibase.h")

SAME_AS_THE_CLIENT(isc_attach_database);
SAME_AS_THE_CLIENT(isc_database_info);
SAME_AS_THE_CLIENT(isc_start_multiple);
SAME_AS_THE_CLIENT(isc_dsql_alloc_statement2);
SAME_AS_THE_CLIENT(isc_dsql_sql_info);
SAME_AS_THE_CLIENT(isc_commit_transaction);
SAME_AS_THE_CLIENT(isc_rollback_transaction);
SAME_AS_THE_CLIENT(isc_dsql_free_statement);
SAME_AS_THE_CLIENT(isc_detach_database);
SAME_AS_THE_CLIENT(fb_shutdown_callback);

#undef SAME_AS_THE_CLIENT

}  // namespace
