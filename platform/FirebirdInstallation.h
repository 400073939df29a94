#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace platform {

// How wide a program's pointers are, which decides the client library it can
// load and the registry view it sees first.
enum class ProgramBits { Bits64, Bits32 };
inline constexpr ProgramBits ThisProgramBits = sizeof(void*) == 8 ? ProgramBits::Bits64 : ProgramBits::Bits32;

// A reader of HKEY_LOCAL_MACHINE in the registry view of programs of `view`.
using RegistryOpener = std::function<std::unique_ptr<RegistryReader>(ProgramBits view)>;

// The Firebird installation a run uses: where its gbak is, which client
// library goes with it, and where the search looked.
struct FirebirdInstallation {
    enum class Lookup {
        Found,
        KeyMissing,    // the instances key is in neither registry view
        KeyNotOpened,  // the key is there and does not open
        GbakMissing,   // the registry names an installation without gbak
        NotInstalled,  // no registry here, and no folder Firebird installs in holds gbak
    };
    Lookup lookup = Lookup::NotInstalled;
    // The installation's folder as the registry or FIREBIRD names it.
    std::string folder;
    // gbak's full path; empty unless Found.
    std::string gbak;
    // Every place gbak was looked for, in order.
    std::vector<std::string> lookedIn;
    // The installation's own client libraries that this program can load,
    // best first: gbak and the client then speak the same version.
    std::vector<std::string> clients;
    // A client of the other bitness, found where the installation has none
    // this program can load; the other build of the program would use it.
    std::string otherBitnessClient;
};

// Looks for gbak in the installation at `folder` and, when it is there, fills
// `found` with the folder, gbak and the installation's clients for a program
// of `bits`. Every place looked in is added to `found.lookedIn`.
bool FindGbakIn(const std::string& folder, ProgramBits bits, FirebirdInstallation& found);

// The client libraries to try for `installation`, in order: its own, then
// `searchPathNames` as the system's search finds them.
std::vector<std::string> ClientLibrariesToTry(const FirebirdInstallation& installation,
                                              const std::vector<std::string>& searchPathNames);

// The installation that "DefaultInstance" names, read through `registry` in
// the view of `bits` first and then in the other one; the first view whose
// folder holds gbak is the one used. A value without its closing backslash
// is joined with one; an empty value leaves only the relative "Bin\gbak.exe",
// tried last. A value of another kind than a string raises RegistryError.
FirebirdInstallation FindInstallationInRegistry(const RegistryOpener& registry, ProgramBits bits);

// This machine's installation, where the platform keeps track of it: the
// registry on Windows; on other systems FIREBIRD, else Firebird's own
// /opt/firebird, else the distribution's packages under /usr.
FirebirdInstallation FindFirebirdInstallation();

// The client libraries an installation rooted at `folder` may hold, in the
// order they are preferred.
std::vector<std::string> ClientFileCandidates(const std::string& folder);

// The bitness a library file was built for, from its header; nothing when
// the file does not say or the system loads any that it finds.
std::optional<ProgramBits> LibraryBits(const std::string& path);

}  // namespace platform
