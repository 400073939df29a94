#pragma once

#include <memory>
#include <string>

#include "clean/CompactionStage.h"
#include "platform/FirebirdInstallation.h"
#include "platform/Registry.h"

// A registry that answers the Firebird instances key the way a test sets it
// up, for causes no test can produce in the real one.
struct FakeRegistrySetup {
    // No key at all, as in the registry view that holds none.
    static FakeRegistrySetup Absent() { return {false, false, {}, false}; }

    bool keyExists = true;       // passes the existence test
    bool keyOpens = true;        // opens with KEY_READ
    std::string defaultInstance; // the value's text; empty: missing
    bool wrongKind = false;      // the value is not a string
};

class FakeRegistry : public platform::RegistryReader {
public:
    explicit FakeRegistry(FakeRegistrySetup setup) : setup_(std::move(setup)) {}

    bool KeyExists(const std::string& key) override
    {
        return setup_.keyExists && key == platform::FirebirdInstancesKey;
    }
    bool OpenKey(const std::string& key) override
    {
        open_ = setup_.keyExists && setup_.keyOpens && key == platform::FirebirdInstancesKey;
        return open_;
    }
    std::string ReadString(const std::string& valueName) override
    {
        if (!open_)
            return {};
        if (setup_.wrongKind)
            throw platform::RegistryError("Invalid data type for '" + valueName + "'");
        return valueName == platform::DefaultInstanceValue ? setup_.defaultInstance : std::string();
    }
    void CloseKey() override { open_ = false; }

private:
    FakeRegistrySetup setup_;
    bool open_ = false;
};

// The installation found through a registry that holds the test's key in the
// program's own view only.
inline InstallationFinder FakeRegistryFactory(bool keyExists, bool keyOpens, std::string defaultInstance,
                                              bool wrongKind = false)
{
    const FakeRegistrySetup setup{keyExists, keyOpens, std::move(defaultInstance), wrongKind};
    return [setup] {
        return platform::FindInstallationInRegistry(
            [setup](platform::ProgramBits view) {
                return std::make_unique<FakeRegistry>(view == platform::ThisProgramBits ? setup
                                                                                        : FakeRegistrySetup::Absent());
            },
            platform::ThisProgramBits);
    };
}
