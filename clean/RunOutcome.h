#pragma once

// How a cleaning run ended, as far as whoever started it must act on it.
enum class RunOutcome {
    Done,                     // cleaned and compacted
    Refused,                  // stopped before anything changed: the database is as it was
    RolledBack,               // a step failed; the database is the original again
    NeedsAttention,           // the original is only in the safety copy, or the files need a look
    InterruptedRunCompleted,  // an earlier run's safety copy was put back; nothing else was done
};
