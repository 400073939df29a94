// Another run's process for the run-journal tests:
//   journal_holder hold <journal> <content> <event>
// claims the journal, writes <content>, sets the named event and waits to be
// terminated, as a run that dies mid-way would be. It gives up by itself after
// a minute so that a failed test never leaves it behind.
//   journal_holder claim <journal>
// claims the journal and ends at once; its exit code is the outcome.
// Exit codes: 0 claimed, 1 held by another run, 2 claim failed, 3 write
// failed, 4 bad arguments or event.
#include <windows.h>

#include <string>

#include "platform/RunJournal.h"

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!((mode == "hold" && argc == 5) || (mode == "claim" && argc == 3)))
        return 4;
    platform::JournalClaim claim = platform::ClaimRunJournal(argv[2]);
    if (claim.outcome == platform::ClaimOutcome::HeldByAnotherRun)
        return 1;
    if (claim.outcome != platform::ClaimOutcome::Claimed)
        return 2;
    if (mode == "claim")
        return 0;
    if (!claim.journal->Write(argv[3]))
        return 3;
    const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[4]);
    if (ready == nullptr || !SetEvent(ready))
        return 4;
    Sleep(60000);
    return 0;
}
