#include "platform/ToolFile.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/FileAttributesWin.h"
#include "platform/WideTextWin.h"

namespace platform {
namespace {

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// A directory search for the path itself, for when its attributes cannot be
// read for a reason other than its absence (a file locked for every access,
// for instance, still shows up in its folder's listing).
bool FoundAsFile(const std::wstring& path)
{
    WIN32_FIND_DATAW found{};
    FindHandle search(FindFirstFileW(path.c_str(), &found));
    return search.Valid() && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

bool ToolFilePresent(const std::string& path)
{
    const std::wstring wide = AnsiToWide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // A link of any kind counts as present without being followed, even
        // one to a folder.
        return AttributesShowLink(attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return false;
    default:
        return FoundAsFile(wide);
    }
}

const char* GbakRelativePath()
{
    return "Bin\\gbak.exe";
}

std::string InstallationRoot(const std::string& installationFolder)
{
    if (installationFolder.empty())
        return {};
    const char last = installationFolder.back();
    return last == '\\' || last == '/' ? installationFolder : installationFolder + "\\";
}

std::vector<std::string> GbakFileCandidates(const std::string& installationFolder)
{
    if (installationFolder.empty())
        return {GbakRelativePath()};
    const std::string root = InstallationRoot(installationFolder);
    // Firebird 2.5 and older keep their tools in Bin; 3.0 and later beside
    // the server in the installation's root.
    return {root + GbakRelativePath(), root + "gbak.exe"};
}

}  // namespace platform
