#include "platform/FileSystem.h"

#include <windows.h>

#include <string>

#include "platform/FileErrorWin.h"
#include "platform/UniqueHandleWin.h"
#include "platform/WideTextWin.h"

namespace platform {
namespace {

bool IsDirectoryLink(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const DWORD link = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

class WinFileSystem final : public FileSystem {
public:
    FileResult Copy(const std::string& existing, const std::string& target,
                    const WhileWaiting& whileWaiting) override
    {
        // The error is read on the thread that did the copy: it is per thread.
        return WaitingFor(
            [&]() -> FileResult {
                if (CopyFileA(existing.c_str(), target.c_str(), TRUE))
                    return {};
                return FromWinError(GetLastError());
            },
            whileWaiting);
    }

    bool Delete(const std::string& path) override
    {
        const std::wstring wide = AnsiToWide(path);
        if (DeleteFileW(wide.c_str()))
            return true;
        // DeleteFileW refuses a link to a folder; such a link is removed as a
        // folder, which removes the link and leaves its target alone.
        return IsDirectoryLink(wide) && RemoveDirectoryW(wide.c_str());
    }

    bool Rename(const std::string& from, const std::string& to) override
    {
        return MoveFileW(AnsiToWide(from).c_str(), AnsiToWide(to).c_str()) != FALSE;
    }

    FileResult PutBack(const std::string& copy, const std::string& path) override
    {
        const std::wstring from = AnsiToWide(copy);
        const std::wstring to = AnsiToWide(path);
        if (GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES)
            return FromWinError(GetLastError());
        // Replacing a file that another process has open fails with a bare
        // "access denied"; asking for the file alone first tells the operator
        // the real reason. The move below still refuses on its own if the
        // file is taken in between, and then changes nothing.
        if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
            UniqueHandle probe(
                CreateFileW(to.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!probe.Valid()) {
                const DWORD error = GetLastError();
                if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
                    return FromWinError(error);
            }
            // The probe only had to open; it closes before the move.
            probe.Reset();
        }
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return {};
        return FromWinError(GetLastError());
    }

    bool Exists(const std::string& path) override
    {
        return GetFileAttributesW(AnsiToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool IsLink(const std::string& path) override
    {
        const DWORD attributes = GetFileAttributesW(AnsiToWide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }

    std::string Identity(const std::string& path) override
    {
        const UniqueHandle file(CreateFileW(AnsiToWide(path).c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
        if (!file.Valid())
            return {};
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file.Get(), &info))
            return {};
        return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
               std::to_string(info.nFileIndexLow) + ":" + std::to_string(info.nFileSizeHigh) + ":" +
               std::to_string(info.nFileSizeLow) + ":" + std::to_string(info.ftLastWriteTime.dwHighDateTime) + "." +
               std::to_string(info.ftLastWriteTime.dwLowDateTime);
    }

    bool CopyOwnerAndMode(const std::string&, const std::string&) override
    {
        // A copy made by CopyFileA already carries the source's attributes,
        // and its owner is the tool's user either way.
        return true;
    }
};

}  // namespace

std::unique_ptr<FileSystem> CreateFileSystem()
{
    return std::make_unique<WinFileSystem>();
}

}  // namespace platform
