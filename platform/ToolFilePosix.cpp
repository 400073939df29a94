#include "platform/ToolFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// When the path itself cannot be looked at (a folder we may list but not
// search, say), the folder listing still tells whether the name is there.
bool ListedAsNonDirectory(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return false;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir.get())) {
        if (name != entry->d_name)
            continue;
        if (entry->d_type != DT_UNKNOWN)
            return entry->d_type != DT_DIR;
        struct stat info {};
        return fstatat(dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode);
    }
    return false;
}

}  // namespace

bool ToolFilePresent(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0)
        return !S_ISDIR(info.st_mode);  // a link counts whatever it leads to
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)
        return false;
    return ListedAsNonDirectory(path);
}

const char* GbakRelativePath()
{
    return "bin/gbak";
}

std::string InstallationRoot(const std::string& installationFolder)
{
    if (installationFolder.empty() || installationFolder.back() == '/')
        return installationFolder;
    return installationFolder + "/";
}

std::vector<std::string> GbakFileCandidates(const std::string& installationFolder)
{
    return {InstallationRoot(installationFolder) + GbakRelativePath()};
}

}  // namespace platform
