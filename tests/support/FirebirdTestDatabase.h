#pragma once

#include <string>

// Real Firebird databases for the tests, made and read with isql-fb on the
// embedded engine (no server). Every call throws std::runtime_error with
// isql's output when isql fails.

// The log tables of a Quenor database.
inline constexpr const char* QuenorLogTables =
    "CREATE TABLE log (id INTEGER, log_time TIMESTAMP);\n"
    "CREATE TABLE ERRORS_LOG (id INTEGER, ERR_END TIMESTAMP);\n";

// One old and one new row in each log table, on either side of 2000-01-01
// 14:23:05 (the recording host's cut-off).
inline constexpr const char* QuenorOldAndNewRows =
    "INSERT INTO log VALUES (1, '1999-03-01 10:00:00');\n"
    "INSERT INTO log VALUES (2, '2001-03-01 10:00:00');\n"
    "INSERT INTO ERRORS_LOG VALUES (1, '1998-03-01 10:00:00');\n"
    "INSERT INTO ERRORS_LOG VALUES (2, '2002-03-01 10:00:00');\n";

// Rows close on both sides of the window's first cut-off, 1 January 2000:
// two old and two new in log, one of each in ERRORS_LOG.
inline constexpr const char* RowsAroundTheFirstCutOff =
    "INSERT INTO log VALUES (1, '1999-03-01 10:00:00');\n"
    "INSERT INTO log VALUES (2, '1999-12-31 23:59:59');\n"
    "INSERT INTO log VALUES (3, '2000-01-02 08:00:00');\n"
    "INSERT INTO log VALUES (4, '2024-06-30 12:00:00');\n"
    "INSERT INTO ERRORS_LOG VALUES (1, '1998-07-15 00:00:00');\n"
    "INSERT INTO ERRORS_LOG VALUES (2, '2001-01-01 00:00:00');\n";

// A trigger that makes deleting a row of `log` take minutes: each deleted
// row counts a long way, for a delete stopped while it works.
inline constexpr const char* SlowLogDelete =
    "SET TERM ^;\n"
    "CREATE TRIGGER slow_log FOR log BEFORE DELETE AS DECLARE i INTEGER = 0; BEGIN "
    "WHILE (i < 2000000000) DO i = i + 1; END^\n"
    "SET TERM ;^\nCOMMIT;\n";

// A trigger that makes deleting each row of `log` take one second by the
// clock, however busy the machine, for a delete that is let run to its end.
inline constexpr const char* SecondPerDeletedLogRow =
    "SET TERM ^;\n"
    "CREATE TRIGGER second_per_log_row FOR log BEFORE DELETE AS DECLARE started TIMESTAMP; BEGIN "
    "started = CAST('NOW' AS TIMESTAMP); "
    "WHILE (DATEDIFF(MILLISECOND FROM started TO CAST('NOW' AS TIMESTAMP)) < 1000) DO started = started; END^\n"
    "SET TERM ;^\nCOMMIT;\n";

// Creates a database at `path` and runs `sql` (statements ending in ';') in it.
void CreateFirebirdDatabase(const std::string& path, const std::string& sql);
// Runs `sql` in the existing database at `path`; returns isql's output.
std::string RunIsql(const std::string& path, const std::string& sql);
// Whether an account other than SYSDBA and the owner, as the product's
// workstations use, can attach to the database at `path` and read it.
bool ProductAttaches(const std::string& path);
// The single integer that `select` (e.g. "SELECT COUNT(*) FROM log") returns.
long long QueryInteger(const std::string& path, const std::string& select);
