#pragma once

#include <chrono>
#include <functional>

#include "clean/Trace.h"
#include "platform/FileSystem.h"

// A Firebird server keeps a database file open for a while after its last
// client has gone (the database's LINGER, a sweep, a late detach), and a
// step that must delete or replace the file finds it held meanwhile.

// The longest a step waits for the server to let go: the database's LINGER
// in seconds (nothing when unknown) plus a margin, never over a minute.
std::chrono::milliseconds HeldFileWaitBound(int lingerSeconds);

// Runs `attempt` again every WhileWaitingInterval while it fails because
// another process holds the file, for at most `bound()` (asked only then),
// and says once on the pane what it waits for. `tick` is called at each interval, to keep a
// window painted; false from it ends the wait with FileError::Stopped.
// Returns the last attempt's result.
platform::FileResult RetryWhileHeld(TraceSink& trace, const std::function<std::chrono::milliseconds()>& bound,
                                    const std::function<bool()>& tick,
                                    const std::function<platform::FileResult()>& attempt);
