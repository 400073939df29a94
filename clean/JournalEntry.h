#pragma once

#include <string>

// What a run writes into its journal (platform/RunJournal.h), so that the
// run after it knows how far it got if it died.
enum class RunStage {
    NotStarted,  // nothing written: the database was never touched
    Copying,     // the safety copy is being made; the database is untouched
    Changing,    // the safety copy is complete; the database may be changed
    Unreadable,  // something the tool never writes
};

struct JournalEntry {
    RunStage stage = RunStage::NotStarted;
    // With Changing: the identity of the safety copy (FileSystem::Identity),
    // so that a later run puts back that file and no other.
    std::string copyIdentity;
};

std::string WriteJournalEntry(const JournalEntry& entry);
JournalEntry ReadJournalEntry(const std::string& text);
