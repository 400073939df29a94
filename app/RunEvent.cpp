#include "app/RunEvent.h"

#include <string>

#include "platform/ConsoleOutput.h"

RunEvent RunEventFor(int exitCode)
{
    using platform::EventKind;
    // A warning where nothing changed and the next run may well succeed (a
    // file held, another run, a dead run's copy put back); an error where the
    // cleaning failed and will fail again until someone acts, or where the
    // files need a look, or where the task's own command line is wrong.
    EventKind kind = EventKind::Error;
    switch (exitCode) {
    case 0:  // done
        kind = EventKind::Information;
        break;
    case 1:  // refused
    case 4:  // an interrupted run's copy put back
        kind = EventKind::Warning;
        break;
    default:
        break;
    }
    return {1000 + exitCode, kind};
}

void WriteRunEvent(platform::EventLog& log, int exitCode, const std::vector<std::string>& lines)
{
    const RunEvent event = RunEventFor(exitCode);
    if (const int error = log.Write(event.id, event.kind, lines); error != 0)
        platform::WriteErrorLine("quenor-cleaner: the event log did not take the run's entry " +
                                 std::to_string(event.id) + " (system error " + std::to_string(error) + ")");
}
