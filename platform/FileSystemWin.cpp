#include "platform/FileSystem.h"

#include <windows.h>

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
    bool Copy(const std::string& existing, const std::string& target, const WhileWaiting& whileWaiting) override
    {
        return WaitingFor([&] { return CopyFileA(existing.c_str(), target.c_str(), TRUE) != FALSE; }, whileWaiting);
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

    bool Exists(const std::string& path) override
    {
        return GetFileAttributesW(AnsiToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
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
