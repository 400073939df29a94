#pragma once

#include <string>

// `path` with every ".fdb", in any letter case, replaced by `replacement`:
// left to right, matches never overlapping, the rest of the path unchanged.
// A path without a match comes back as is.
std::string ReplaceFdb(const std::string& path, const std::string& replacement);

// The working files of one run beside the database.
struct WorkingNames {
    std::string fdk;  // the gbak backup
    std::string bak;  // the safety copy
};
// Derived from the file name alone; the folders stay as they are. A name
// without ".fdb" gives the database path itself.
WorkingNames DeriveWorkingNames(const std::string& databasePath);

// The run journal beside the database (platform/RunJournal.h): a name no
// operator's file has.
std::string JournalName(const std::string& databasePath);
// What every journal's name ends with.
extern const char* const JournalSuffix;
