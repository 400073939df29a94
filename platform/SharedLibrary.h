#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

// A shared library loaded at run time (dlopen / LoadLibrary). Unloads on
// destruction, except where the platform implementation documents otherwise.
class SharedLibrary {
public:
    virtual ~SharedLibrary() = default;

    // The address of an exported symbol, or nullptr when the library lacks it.
    virtual void* Symbol(const char* name) const = 0;
    // The file the system loaded, by its full path, for the support log;
    // empty when the system does not tell.
    virtual std::string FilePath() const = 0;
};

// Loads `fileName` through the platform's normal search order, or, when it
// names a folder, that file with its own folder searched first for what it
// needs; nullptr when it cannot be loaded.
std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& fileName);

// File names under which the Firebird client library is tried, in order.
std::vector<std::string> FirebirdClientLibraryNames();

}  // namespace platform
