#include "platform/FirebirdInstallation.h"

#include <cstdlib>

#include "platform/ToolFile.h"

// No registry here: Firebird is where its own Linux kit or the distribution
// put it, and FIREBIRD (the name its client reads too) says where else.
namespace platform {
namespace {

std::string WithoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

}  // namespace

FirebirdInstallation FindFirebirdInstallation()
{
    FirebirdInstallation found;
    // A FIREBIRD that names no installation is not overridden by the usual
    // folders: the operator asked for that one.
    const char* configured = std::getenv("FIREBIRD");
    const std::vector<std::string> folders = configured != nullptr && *configured != '\0'
                                                 ? std::vector<std::string>{WithoutTrailingSlashes(configured)}
                                                 : std::vector<std::string>{"/opt/firebird", "/usr"};
    // An empty or half-removed /opt/firebird must not hide the packaged tool,
    // so a folder counts only when it holds gbak.
    for (const std::string& folder : folders) {
        if (FindGbakIn(folder, ThisProgramBits, found))
            return found;
    }
    found.lookup = FirebirdInstallation::Lookup::NotInstalled;
    return found;
}

std::vector<std::string> ClientFileCandidates(const std::string& folder)
{
    // Firebird's own kit keeps its client in lib; the distribution's is on
    // the loader's path, where the library names find it.
    if (folder.empty())
        return {};
    return {InstallationRoot(folder) + "lib/libfbclient.so"};
}

std::optional<ProgramBits> LibraryBits(const std::string& /*path*/)
{
    // One kind of program per system here: the loader refuses another
    // kind's library by itself.
    return std::nullopt;
}

}  // namespace platform
