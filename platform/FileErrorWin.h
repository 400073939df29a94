#pragma once

#include <windows.h>

#include "platform/FileSystem.h"

// What a GetLastError() value means to the operator. Windows builds only.
namespace platform {

inline FileResult FromWinError(DWORD code)
{
    const int systemCode = static_cast<int>(code);
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return {FileError::NotFound, systemCode};
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return {FileError::AccessDenied, systemCode};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return {FileError::DiskFull, systemCode};
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return {FileError::TargetExists, systemCode};
    case ERROR_DIRECTORY:
        return {FileError::NotAFile, systemCode};
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return {FileError::NameTooLong, systemCode};
    case ERROR_CANCELLED:
        return {FileError::Stopped, systemCode};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return {FileError::Held, systemCode};
    default:
        return {FileError::Other, systemCode};
    }
}

}  // namespace platform
