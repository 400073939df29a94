#pragma once

#include <string>
#include <vector>

#include "clean/firebird/TIBDatabase.h"

// A transaction over one or more connections. A transaction still active
// when the object goes away is rolled back, never committed.
class TIBTransaction {
public:
    TIBTransaction() = default;
    ~TIBTransaction();
    TIBTransaction(const TIBTransaction&) = delete;
    TIBTransaction& operator=(const TIBTransaction&) = delete;

    void AddDatabase(TIBDatabase& database) { databases_.push_back(&database); }
    // Parameter lines such as "concurrency" and "wait".
    std::vector<std::string>& Params() { return params_; }

    // All of these throw fb::Error.
    void StartTransaction();
    void Commit();
    void Rollback();

    bool InTransaction() const { return handle_ != fb::Handle{}; }
    fb::Handle* Handle() { return &handle_; }

private:
    const fb::Api& Api();

    std::vector<TIBDatabase*> databases_;
    std::vector<std::string> params_;
    std::string parameterBlock_;  // built at the first start, reused after
    fb::Handle handle_{};
};
