#pragma once

#include <string>

// `path` with every ".fdb", in any letter case, replaced by `replacement`:
// left to right, matches never overlapping, the rest of the path unchanged.
// Directory names are affected too. A path without a match comes back as is.
std::string ReplaceFdb(const std::string& path, const std::string& replacement);

// The working files of one run beside the database.
struct WorkingNames {
    std::string fdk;  // the gbak backup
    std::string bak;  // the safety copy
};
WorkingNames DeriveWorkingNames(const std::string& databasePath);
