#pragma once

#include <string>
#include <vector>

namespace platform {

// Whether `path` names a file that can be run: a plain file or a link of any
// kind is present (links are not followed), a directory is absent.
bool ToolFilePresent(const std::string& path);

}  // namespace platform

namespace platform {

// Where gbak lies inside a Firebird installation directory, relative to it
// ("Bin\gbak.exe" on Windows, "bin/gbak" on POSIX).
const char* GbakRelativePath();

// `installationFolder` with one closing separator, whether or not the value
// ends with one; empty stays empty, leaving paths relative to the current
// folder.
std::string InstallationRoot(const std::string& installationFolder);

// Where gbak may lie in the installation that `installationFolder` names, in
// the order to look: the folder joined with one separator whether or not
// the value ends with one; an empty folder leaves the path relative to the
// current folder.
std::vector<std::string> GbakFileCandidates(const std::string& installationFolder);

}  // namespace platform
