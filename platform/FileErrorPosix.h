#pragma once

#include <cerrno>

#include "platform/FileSystem.h"

// What an errno value means to the operator. Used only by the *Posix.cpp files.
namespace platform {

inline FileResult FromErrno(int code)
{
    switch (code) {
    case 0:
        return {FileError::Other, 0};
    case ENOENT:
    case ENOTDIR:
        return {FileError::NotFound, code};
    case EACCES:
    case EPERM:
    case EROFS:
        return {FileError::AccessDenied, code};
    case ENOSPC:
    case EDQUOT:
        return {FileError::DiskFull, code};
    case EEXIST:
        return {FileError::TargetExists, code};
    case EISDIR:
        return {FileError::NotAFile, code};
    case ENAMETOOLONG:
        return {FileError::NameTooLong, code};
    case ECANCELED:
        return {FileError::Stopped, code};
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY:
        return {FileError::Held, code};
    default:
        return {FileError::Other, code};
    }
}

}  // namespace platform
