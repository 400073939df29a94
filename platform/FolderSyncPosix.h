#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/UniqueFd.h"

// A new, renamed or removed name is durable only once its folder has been
// flushed too. Used only by the *Posix.cpp files.
namespace platform {

inline std::string FolderOf(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// False with errno set when the folder cannot be flushed; a file system that
// cannot flush a folder at all (EINVAL) has nothing to flush.
inline bool SyncFolderOf(const std::string& path)
{
    UniqueFd folder(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.Valid())
        return false;
    return fsync(folder.Get()) == 0 || errno == EINVAL;
}

}  // namespace platform
