#pragma once

#include <string>

#include "clean/TDateTime.h"

// Creates `path` with `rows` rows in log and as many in ERRORS_LOG, each row
// about as wide as a real log line; the first half of each table is stamped
// before `cutOff`, the rest at or after it. The database keeps Firebird's
// default forced writes, like one in use. Scripts and isql output go to
// `scratch`. Throws std::runtime_error naming the step that failed.
void CreateBenchDatabase(const std::string& path, long rows, const TDateTime& cutOff, const std::string& scratch);

struct RowCounts {
    long long log = -1;
    long long errors = -1;
    long long logBeforeCutOff = -1;
    long long errorsBeforeCutOff = -1;
};

RowCounts CountRows(const std::string& path, const TDateTime& cutOff, const std::string& scratch);

// The script isql runs for the cleaning done by hand: the same two deletes,
// each committed on its own, as the tool's database stage.
std::string ManualDeleteScript(const TDateTime& cutOff);
