#pragma once

#include <memory>
#include <string>
#include <vector>

// The system's log of events, which monitoring tools watch: an unattended
// run leaves one entry there, so that an alert can be raised on how it ended
// without anyone reading its output.
namespace platform {

// How the log files an entry and how its viewers mark it.
enum class EventKind { Information, Warning, Error };

// The source the entries are filed under. The Windows installer registers it
// with quenor-cleaner-cli.exe's message table, which shows each entry's text.
inline constexpr const char* EventSourceName = "Quenor Cleaner";

class EventLog {
public:
    virtual ~EventLog() = default;

    // One entry with the number `id` and the text `lines` (the core's text)
    // one per line, in order. Returns 0 when the log took it, else the
    // system's error code; it never waits on anything but the log itself.
    virtual int Write(int id, EventKind kind, const std::vector<std::string>& lines) = 0;
};

// Windows' Application log under EventSourceName. Elsewhere a log that takes
// every entry and keeps none: there the run's lines already reach the system
// journal with their priorities (see ConsoleOutput.h).
std::unique_ptr<EventLog> CreateEventLog();

}  // namespace platform
