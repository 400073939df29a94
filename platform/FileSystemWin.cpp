#include "platform/FileSystem.h"

#include <windows.h>

#include <aclapi.h>

#include <string>
#include <vector>

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

// Where the name goes to the disk: NTFS keeps a file's name in its folder's
// index, and every change to that index, like every other change to the
// volume's structure, is a record in the volume's one log, in the order the
// changes were made. A flush of any file on NTFS (NtFlushBuffersFile, which
// FlushFileBuffers calls) writes that file's data and metadata, writes the log
// up to that moment and has the disk empty its own cache; after a power cut
// NTFS replays the log, so the file's folder entry made before the flush is
// there with everything else logged before it. The folder itself needs no
// flush of its own, unlike on POSIX systems. A rename gets the same from
// MoveFileExW's MOVEFILE_WRITE_THROUGH. FAT and exFAT keep no log; there the
// flush writes the file's folder entry as part of its metadata.
UniqueHandle OpenForFlush(const std::wstring& path)
{
    // FlushFileBuffers needs write access; sharing everything lets a file an
    // engine holds open for reading and writing be flushed too.
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileResult FlushFile(const std::wstring& path)
{
    UniqueHandle file = OpenForFlush(path);
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_READONLY) == 0)
            return FromWinError(error);
        // A read-only file (CopyFileA makes the copy of one read-only too)
        // refuses write access only when it is opened: the attribute is
        // lifted for the open and put back through the handle, so the flush
        // carries it to the disk as well.
        if (!SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
            return FromWinError(error);
        file = OpenForFlush(path);
        const DWORD openError = GetLastError();
        FILE_BASIC_INFO basic{};  // times of zero are left as they are
        basic.FileAttributes = attributes;
        const bool restored = file.Valid()
                                  ? SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof basic)
                                  : SetFileAttributesW(path.c_str(), attributes);
        if (!file.Valid())
            return FromWinError(openError);
        if (!restored)
            return FromWinError(GetLastError());
    }
    if (!FlushFileBuffers(file.Get()))
        return FromWinError(GetLastError());
    return {};
}

constexpr DWORD ReadPiece = 1024 * 1024;

class WinFileSystem final : public FileSystem {
public:
    FileResult Copy(const std::string& existing, const std::string& target,
                    const WhileWaiting& whileWaiting) override
    {
        // The error is read on the thread that did the copy: it is per thread.
        return WaitingFor(
            [&]() -> FileResult {
                if (!CopyFileA(existing.c_str(), target.c_str(), TRUE))
                    return FromWinError(GetLastError());
                // CopyFileA leaves the copy in the cache; a copy that a power
                // cut could take away must not count as the safety copy.
                const std::wstring wide = AnsiToWide(target);
                const FileResult flushed = FlushFile(wide);
                if (!flushed) {
                    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(wide.c_str());
                }
                return flushed;
            },
            whileWaiting);
    }

    // DeleteFileW changes only metadata, which NTFS logs: after a power cut
    // the name is either still there or gone, never half removed, and the
    // volume is consistent. The log is written lazily, so the removal reaches
    // the disk with the next flush of anything on the volume: the callers'
    // later steps (the restored database's flush, the put-back's
    // write-through move, the journal's own flush) carry it there, as the log
    // keeps its order. Until then a power cut can bring the name back, which
    // the callers allow for: every delete that matters comes after the
    // journal, already on the disk, says which file is the safety copy, so
    // the next run puts that copy back whatever came back at the path. A
    // file another process holds without sharing deletion is refused here;
    // one held with FILE_SHARE_DELETE may keep its name until it is closed.
    FileResult Delete(const std::string& path) override
    {
        const std::wstring wide = AnsiToWide(path);
        if (DeleteFileW(wide.c_str()))
            return {};
        const DWORD error = GetLastError();
        // DeleteFileW refuses a link to a folder; such a link is removed as a
        // folder, which removes the link and leaves its target alone.
        if (!IsDirectoryLink(wide))
            return FromWinError(error);
        if (RemoveDirectoryW(wide.c_str()))
            return {};
        return FromWinError(GetLastError());
    }

    FileResult Rename(const std::string& from, const std::string& to) override
    {
        if (MoveFileW(AnsiToWide(from).c_str(), AnsiToWide(to).c_str()))
            return {};
        return FromWinError(GetLastError());
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
        if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return FromWinError(GetLastError());
        // MoveFileExW's documentation promises the write-through in so many
        // words only for a move made as a copy and a delete; a flush of the
        // moved file writes NTFS's log past the rename in any case. The
        // move has happened by now, so a failed flush cannot undo it and
        // must not be reported as a put-back that changed nothing.
        FlushFile(to);
        return {};
    }

    FileResult KeepAs(const std::string& path, const std::string& name) override
    {
        // NTFS gives a file a second name at once; FAT and some network
        // shares have none, and get a complete copy instead.
        if (CreateHardLinkW(AnsiToWide(name).c_str(), AnsiToWide(path).c_str(), nullptr))
            return Flush(name);
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS || error == ERROR_FILE_NOT_FOUND ||
            error == ERROR_PATH_NOT_FOUND || error == ERROR_SHARING_VIOLATION)
            return FromWinError(error);
        return Copy(path, name, {});
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

    PathKind KindOf(const std::string& path) override
    {
        const DWORD attributes = GetFileAttributesW(AnsiToWide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            // Something the tool may not look at can still be there.
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing
                                                                                  : PathKind::Other;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return PathKind::Link;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return PathKind::Folder;
        return PathKind::File;
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
        // The file index alone names the file on its volume (NTFS does not
        // hand a file's index to another while it exists); its size and
        // times change with every write into the file.
        return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
               std::to_string(info.nFileIndexLow);
    }

    FileResult Flush(const std::string& path) override
    {
        return FlushFile(AnsiToWide(path));
    }

    FileResult Read(const std::string& path,
                    const std::function<void(const char* data, std::size_t size)>& piece) override
    {
        const UniqueHandle file(CreateFileW(AnsiToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file.Valid())
            return FromWinError(GetLastError());
        std::vector<char> buffer(ReadPiece);
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file.Get(), buffer.data(), ReadPiece, &got, nullptr))
                return FromWinError(GetLastError());
            if (got == 0)
                return {};
            piece(buffer.data(), got);
        }
    }

    FileResult PrepareLike(const std::string& model, const std::string& target) override
    {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR modelDescriptor = nullptr;
        const DWORD looked = GetNamedSecurityInfoW(AnsiToWide(model).c_str(), SE_FILE_OBJECT,
                                                   DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                                   &modelDescriptor);
        if (looked != ERROR_SUCCESS)
            return FromWinError(looked);
        const std::unique_ptr<void, decltype(&LocalFree)> freeModel(modelDescriptor, &LocalFree);

        // The model's access, inherited ACEs included, as the target's own
        // protected list: an unprotected one would take on whatever the
        // target's folder passes down as well, which may be wider. A null
        // list (everyone may do anything) stays null, no wider either.
        SECURITY_DESCRIPTOR descriptor{};
        if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE) ||
            !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return FromWinError(GetLastError());
        // A new file carries the list from its first moment, so nobody can
        // open it more widely in between; an existing one is given it below.
        SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
        const UniqueHandle file(CreateFileW(AnsiToWide(target).c_str(), READ_CONTROL | WRITE_DAC,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &attributes,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid())
            return FromWinError(GetLastError());
        const DWORD set = SetSecurityInfo(file.Get(), SE_FILE_OBJECT,
                                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                          nullptr, dacl, nullptr);
        if (set != ERROR_SUCCESS)
            return FromWinError(set);
        return {};
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
