#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The bytes of the file at `path`; nullopt when nothing is there.
std::optional<std::string> Content(const std::string& path);

// A file's access list in SDDL ("D:P(A;;FA;;;SY)..."); empty when unreadable.
std::string DaclText(const std::string& path);
// Gives the file or folder the access list `sddl` says, protected when it
// says "P".
bool SetDacl(const std::string& path, const char* sddl);

// How many handles this process holds right now (keys, files, processes):
// a leak shows as a count that does not come back down. Throws when the
// system does not tell.
int OwnHandleCount();
// The count once it has come down to `most`, or as it still is after five
// seconds: Wine closes some handles of a finished child a moment late,
// while a handle that was leaked stays.
int OwnHandleCountSettledAt(int most);

// What "DefaultInstance" holds: its kind and its bytes, written as they are.
struct StoredValue {
    DWORD kind;
    std::string bytes;
};
// A string value stored as RegSetValueExW callers normally store it: UTF-16
// with its closing NUL. `text` is ASCII.
StoredValue StringValue(DWORD kind, const std::string& text);

// HKEY_LOCAL_MACHINE\Software\Firebird Project\Firebird Server\Instances in
// Wine's registry, written by the test and removed with the whole
// "Firebird Project" key when the object goes away. No value: the key
// exists without "DefaultInstance". `view`: KEY_WOW64_64KEY or
// KEY_WOW64_32KEY for the registry view it is written in; 0 for the test
// program's own.
class TestInstancesKey {
public:
    explicit TestInstancesKey(const std::optional<StoredValue>& defaultInstance, REGSAM view = 0);
    ~TestInstancesKey();
    TestInstancesKey(const TestInstancesKey&) = delete;
    TestInstancesKey& operator=(const TestInstancesKey&) = delete;

private:
    REGSAM view_;
};
