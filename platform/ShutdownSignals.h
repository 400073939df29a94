#pragma once

#include <memory>

namespace platform {

// The requests to end the program that arrive from outside its window: on
// POSIX the signals SIGTERM (kill, system shutdown), SIGINT (Ctrl+C in the
// terminal) and SIGHUP (logout, terminal gone). Left to themselves they end
// the program at once, possibly halfway through a cleaning run, and once the
// Firebird client is loaded it takes SIGINT and SIGTERM over and shuts its
// engine down. While the object lives they do neither: each one is kept
// until the program reads it, and the program ends the way closing the
// window does.
//
// Create it first thing in main, before any thread exists: the signals are
// blocked in the calling thread and every thread started later inherits
// that, so none of them is ever interrupted by one. They stay blocked after
// the object goes, since a request that arrives while the program winds down
// must not cut the winding down short. Programs started with ProcessRunner
// get the default mask back.
class ShutdownSignals {
public:
    virtual ~ShutdownSignals() = default;

    // A descriptor that becomes readable when a request is waiting, for the
    // window's event loop to watch; -1 where there is nothing to watch (on
    // Windows a window program is asked to end by window messages, which
    // reach its close handling by themselves) or the watch could not be set
    // up (the signals then act as they would without this object).
    virtual int Descriptor() const = 0;

    // Consumes every waiting request; whether there was at least one.
    virtual bool TakeRequests() = 0;
};

std::unique_ptr<ShutdownSignals> CatchShutdownSignals();

}  // namespace platform
