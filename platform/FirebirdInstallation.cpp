#include "platform/FirebirdInstallation.h"

#include "platform/ToolFile.h"

namespace platform {
namespace {

ProgramBits OtherBits(ProgramBits bits)
{
    return bits == ProgramBits::Bits64 ? ProgramBits::Bits32 : ProgramBits::Bits64;
}

enum class KeyState { Missing, NotOpened, Read };

struct ViewReading {
    KeyState state = KeyState::Missing;
    std::string folder;
};

// Through a reader that lives only for this call, so the key is released on
// every way out, the raised RegistryError of a wrongly typed value included.
ViewReading ReadView(const RegistryOpener& registry, ProgramBits view)
{
    std::unique_ptr<RegistryReader> reader = registry(view);
    if (!reader->KeyExists(FirebirdInstancesKey))
        return {KeyState::Missing, {}};
    if (!reader->OpenKey(FirebirdInstancesKey))
        return {KeyState::NotOpened, {}};
    struct KeyCloser {
        RegistryReader& reader;
        ~KeyCloser() { reader.CloseKey(); }
    } closeKey{*reader};
    return {KeyState::Read, reader->ReadString(DefaultInstanceValue)};
}

}  // namespace

bool FindGbakIn(const std::string& folder, ProgramBits bits, FirebirdInstallation& found)
{
    for (const std::string& candidate : GbakFileCandidates(folder)) {
        found.lookedIn.push_back(candidate);
        if (!ToolFilePresent(candidate))
            continue;
        found.lookup = FirebirdInstallation::Lookup::Found;
        found.folder = folder;
        found.gbak = candidate;
        for (const std::string& client : ClientFileCandidates(folder)) {
            if (!ToolFilePresent(client))
                continue;
            const std::optional<ProgramBits> built = LibraryBits(client);
            if (!built || *built == bits)
                found.clients.push_back(client);
            else if (found.otherBitnessClient.empty())
                found.otherBitnessClient = client;
        }
        if (!found.clients.empty())
            found.otherBitnessClient.clear();
        return true;
    }
    return false;
}

std::vector<std::string> ClientLibrariesToTry(const FirebirdInstallation& installation,
                                              const std::vector<std::string>& searchPathNames)
{
    std::vector<std::string> libraries = installation.clients;
    libraries.insert(libraries.end(), searchPathNames.begin(), searchPathNames.end());
    return libraries;
}

FirebirdInstallation FindInstallationInRegistry(const RegistryOpener& registry, ProgramBits bits)
{
    FirebirdInstallation found;
    bool anyKey = false;
    bool anyOpened = false;
    bool anyEmptyValue = false;
    // A 32-bit Firebird on 64-bit Windows registers in the 32-bit view, a
    // 64-bit one in the 64-bit view; either serves both kinds of program.
    for (const ProgramBits view : {bits, OtherBits(bits)}) {
        const ViewReading reading = ReadView(registry, view);
        anyKey = anyKey || reading.state != KeyState::Missing;
        if (reading.state != KeyState::Read)
            continue;
        anyOpened = true;
        if (reading.folder.empty()) {
            anyEmptyValue = true;
            continue;
        }
        if (FindGbakIn(reading.folder, bits, found))
            return found;
    }
    if (!anyKey) {
        found.lookup = FirebirdInstallation::Lookup::KeyMissing;
        return found;
    }
    if (!anyOpened) {
        found.lookup = FirebirdInstallation::Lookup::KeyNotOpened;
        return found;
    }
    // A missing value leaves the relative path, tried only once no folder
    // the registry names held gbak.
    if (anyEmptyValue && FindGbakIn("", bits, found))
        return found;
    found.lookup = FirebirdInstallation::Lookup::GbakMissing;
    return found;
}

}  // namespace platform
