#pragma once

#include <string>
#include <vector>

#include "clean/firebird/FbClient.h"

// A connection to one database file through the client library. It has no
// login dialog and no idle time-out: the account comes only from its
// parameter lines, and nothing but Close (or destruction) ends it.
class TIBDatabase {
public:
    explicit TIBDatabase(fb::ClientLoader& client);
    // Drops a connection still attached; failures are ignored at this point.
    ~TIBDatabase();
    TIBDatabase(const TIBDatabase&) = delete;
    TIBDatabase& operator=(const TIBDatabase&) = delete;

    // Parameter lines "user_name=…", "password=…", "lc_ctype=…".
    std::vector<std::string>& Params() { return params_; }
    void SetDatabaseName(std::string name) { databaseName_ = std::move(name); }

    // Attaches and learns the database's SQL dialect. Fails on an empty name
    // before touching the client library. Throws fb::Error.
    void Open();
    // Detaches. When the detach fails the attachment is dropped by force
    // (a second detach, failure ignored) and the failure is thrown.
    void Close();

    bool Connected() const { return handle_ != fb::Handle{}; }
    fb::Handle* Handle() { return &handle_; }
    // 3, or the database's own dialect when that is lower.
    unsigned short SqlDialect() const { return dialect_; }
    // The client library's entry points; loaded once Open got that far.
    const fb::Api& Api() { return client_.Get(); }

private:
    void ReadSqlDialect();

    fb::ClientLoader& client_;
    std::vector<std::string> params_;
    std::string databaseName_;
    fb::Handle handle_{};
    unsigned short dialect_ = 3;
};
