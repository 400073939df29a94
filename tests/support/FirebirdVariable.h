#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// Sets FIREBIRD for as long as it lives (unsets it, for nullopt) and puts
// the old value back afterwards.
class ScopedFirebirdVariable {
public:
    explicit ScopedFirebirdVariable(const std::optional<std::string>& value)
    {
        if (const char* old = std::getenv("FIREBIRD"))
            old_ = old;
        if (value)
            setenv("FIREBIRD", value->c_str(), 1);
        else
            unsetenv("FIREBIRD");
    }
    ~ScopedFirebirdVariable()
    {
        if (old_)
            setenv("FIREBIRD", old_->c_str(), 1);
        else
            unsetenv("FIREBIRD");
    }
    ScopedFirebirdVariable(const ScopedFirebirdVariable&) = delete;
    ScopedFirebirdVariable& operator=(const ScopedFirebirdVariable&) = delete;

private:
    std::optional<std::string> old_;
};
