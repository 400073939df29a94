#pragma once

#include <cstddef>

#include <string>

#include "clean/firebird/TIBDatabase.h"
#include "clean/firebird/TIBTransaction.h"

// One SQL statement that returns no rows, or a single small integer, run on a
// connection inside a transaction. Once executed it stays allocated and prepared until its text
// is replaced or the object goes away.
class TIBSQL {
public:
    TIBSQL(TIBDatabase& database, TIBTransaction& transaction);
    // Releases the statement; failures are ignored at this point.
    ~TIBSQL();
    TIBSQL(const TIBSQL&) = delete;
    TIBSQL& operator=(const TIBSQL&) = delete;

    // Replaces the text; a statement still held is released first. Throws.
    void SetSQL(std::string text);
    // Allocates, prepares, checks the statement type and executes. Throws.
    void ExecQuery();
    // For a statement that returns one row of one SMALLINT column: allocates,
    // prepares and executes it, and returns the value (NULL reads as 0).
    // Throws.
    short ExecSmallint();
    // The same for one BIGINT column.
    long long ExecBigint();
    // How many rows the statement last executed deleted, by the engine's
    // own count. Throws.
    long long RowsDeleted();
    // Releases the statement handle (DSQL_drop) if one is held. Throws.
    void FreeHandle();

    bool Prepared() const { return prepared_; }

private:
    void Prepare();
    // Executes the prepared statement into one value of `sqlType` at `value`.
    void ExecSingleValue(short sqlType, void* value, std::size_t size);

    TIBDatabase& database_;
    TIBTransaction& transaction_;
    std::string text_;
    fb::Handle handle_{};
    bool prepared_ = false;
};
