#pragma once

// What GetFileAttributesW's answer says about the path itself, never about
// what a link there leads to. Kept apart from the calls so that links can be
// checked where none can be made, as under Wine. Windows builds only.

#include <windows.h>

#include "platform/FileSystem.h"

namespace platform {

// A symbolic link, to a file or a folder, a junction or any other reparse
// point. INVALID_FILE_ATTRIBUTES has every bit set, the reparse point's too,
// so it is ruled out first.
inline bool AttributesShowLink(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A link made as a folder (a folder's symbolic link or a junction), which
// DeleteFileW refuses and RemoveDirectoryW removes without its target.
inline bool AttributesShowFolderLink(DWORD attributes)
{
    constexpr DWORD FolderLink = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FolderLink) == FolderLink;
}

// `lookupError` is GetLastError() right after the attributes were asked for;
// it is read only when they came back as INVALID_FILE_ATTRIBUTES, so a stale
// one beside a real answer does no harm.
inline PathKind KindFromAttributes(DWORD attributes, DWORD lookupError)
{
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Something the tool may not look at can still be there.
        return lookupError == ERROR_FILE_NOT_FOUND || lookupError == ERROR_PATH_NOT_FOUND ? PathKind::Missing
                                                                                          : PathKind::Other;
    }
    // A link to a folder is a link first: it is never followed.
    if (AttributesShowLink(attributes))
        return PathKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PathKind::Folder;
    return PathKind::File;
}

}  // namespace platform
