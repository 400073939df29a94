#pragma once

#include <string>

// Real Firebird databases for the tests, made and read with isql-fb on the
// embedded engine (no server). Every call throws std::runtime_error with
// isql's output when isql fails.

// The log tables of a Quenor database.
inline constexpr const char* QuenorLogTables =
    "CREATE TABLE log (id INTEGER, log_time TIMESTAMP);\n"
    "CREATE TABLE ERRORS_LOG (id INTEGER, ERR_END TIMESTAMP);\n";

// Creates a database at `path` and runs `sql` (statements ending in ';') in it.
void CreateFirebirdDatabase(const std::string& path, const std::string& sql);
// Runs `sql` in the existing database at `path`; returns isql's output.
std::string RunIsql(const std::string& path, const std::string& sql);
// The single integer that `select` (e.g. "SELECT COUNT(*) FROM log") returns.
long long QueryInteger(const std::string& path, const std::string& select);
