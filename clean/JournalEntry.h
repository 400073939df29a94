#pragma once

#include <string>

// What a run writes into its journal (platform/RunJournal.h), so that the
// run after it knows how far it got if it died.
enum class RunStage {
    NotStarted,  // nothing written: the database was never touched
    Copying,     // the database is untouched; a safety copy may be under way
    Changing,    // the safety copy is complete; the database may be changed
    Unreadable,  // something the tool never writes
};

struct JournalEntry {
    RunStage stage = RunStage::NotStarted;
    // With Changing: what the safety copy holds (clean/CopyFingerprint.h),
    // so that a later run puts back that file and no other, wherever the
    // folder has been copied to.
    std::string copyFingerprint;
};

std::string WriteJournalEntry(const JournalEntry& entry);
JournalEntry ReadJournalEntry(const std::string& text);
