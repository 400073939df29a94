#pragma once

// How the compaction stage ended, in the order the run's messages list them.
enum CompactResult {
    cpKeyMissing,
    cpKeyNotOpened,
    cpGbakMissing,
    cpBackupFailed,
    cpRestoreFailed,
    cpDone,
};
