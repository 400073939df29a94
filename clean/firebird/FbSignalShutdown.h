#pragma once

#include "clean/firebird/FbClient.h"

namespace fb {

// Once a database is attached, the client library catches SIGINT and SIGTERM
// and shuts its engine down: every attachment dies, a running statement fails
// and each later attach is refused for the life of the process, while the
// program itself goes on. This program decides itself when to end (a signal
// closes the window once the run in progress is over), so it asks the library
// to refuse such shutdowns. The program blocks those signals from start-up
// and no thread sees them; this covers a signal that reaches the library's
// handler all the same. A library without fb_shutdown_callback is left as
// it is; so is one that refuses the registration.
void RefuseSignalShutdown(const Api& api);

}  // namespace fb
