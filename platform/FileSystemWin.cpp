#include "platform/FileSystem.h"

#include <windows.h>

#include <aclapi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileAttributesWin.h"
#include "platform/FileErrorWin.h"
#include "platform/UniqueHandleWin.h"
#include "platform/WideTextWin.h"

namespace platform {
namespace {

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
        // A read-only file (a kept file may be one, or a copy made of one)
        // refuses write access only when it is opened: the attribute is
        // lifted for the open and put back through the handle, so the flush
        // carries it to the disk as well.
        if (!SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
            return FromWinError(error);
        file = OpenForFlush(path);
        const DWORD openError = GetLastError();
        FILE_BASIC_INFO basic{};  // times of zero are left as they are
        basic.FileAttributes = attributes;
        const bool restored = file.Valid() ? SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof basic)
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

// The access list of `file` (opened with READ_CONTROL) as the protected list
// of a new or existing file: an unprotected one would take on whatever the
// target's folder passes down as well, which may be wider. A null list
// (everyone may do anything) stays null, no wider either.
class AccessListOf {
public:
    explicit AccessListOf(HANDLE file)
    {
        looked_ = GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl_, nullptr,
                                  &owned_);
        if (looked_ != ERROR_SUCCESS)
            return;
        if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor_, TRUE, dacl_, FALSE) ||
            !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            looked_ = GetLastError();
    }
    ~AccessListOf()
    {
        if (owned_ != nullptr)
            LocalFree(owned_);
    }
    AccessListOf(const AccessListOf&) = delete;
    AccessListOf& operator=(const AccessListOf&) = delete;

    DWORD Error() const { return looked_; }
    SECURITY_ATTRIBUTES* ForNewFile()
    {
        attributes_ = {sizeof(SECURITY_ATTRIBUTES), &descriptor_, FALSE};
        return &attributes_;
    }
    DWORD GiveTo(HANDLE file) const
    {
        return SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                               nullptr, nullptr, dacl_, nullptr);
    }

private:
    PACL dacl_ = nullptr;
    PSECURITY_DESCRIPTOR owned_ = nullptr;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    DWORD looked_ = ERROR_SUCCESS;
};

FileResult CopyInto(HANDLE source, HANDLE target, StepShare& share)
{
    std::vector<char> buffer(ReadPiece);
    std::uint64_t copied = 0;
    for (;;) {
        if (share.stop)
            return FromWinError(ERROR_CANCELLED);
        DWORD got = 0;
        if (!ReadFile(source, buffer.data(), ReadPiece, &got, nullptr))
            return FromWinError(GetLastError());
        if (got == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(target, buffer.data(), got, &written, nullptr))
            return FromWinError(GetLastError());
        if (written != got)
            return FromWinError(ERROR_DISK_FULL);
        copied += written;
        share.bytes = copied;
    }
    // The copy keeps the time the source was last written, as CopyFile's does.
    FILETIME created{}, accessed{}, written{};
    if (GetFileTime(source, &created, &accessed, &written))
        SetFileTime(target, nullptr, nullptr, &written);
    return {};
}

// The source is opened sharing reading only, and stays open until the copy
// is on the disk: a file that a server or the product holds for writing is
// refused, and nobody can begin to write into it while it is copied, so the
// copy is of one moment of the file. The copy carries the source's access
// list from its first moment.
FileResult CopyHeld(const std::wstring& existing, const std::wstring& target, StepShare& share)
{
    const UniqueHandle source(CreateFileW(existing.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.Valid())
        return FromWinError(GetLastError());
    AccessListOf access(source.Get());
    if (access.Error() != ERROR_SUCCESS)
        return FromWinError(access.Error());
    // Like CopyFile, the copy has the source's attributes (a new file is
    // written through this handle even when it is made read-only).
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(source.Get(), &info))
        return FromWinError(GetLastError());
    constexpr DWORD Kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = (info.dwFileAttributes & Kept) != 0 ? info.dwFileAttributes & Kept : FILE_ATTRIBUTE_NORMAL;
    UniqueHandle copy(CreateFileW(target.c_str(), GENERIC_WRITE | WRITE_DAC, 0, access.ForNewFile(), CREATE_NEW,
                                  attributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!copy.Valid())
        return FromWinError(GetLastError());
    // Given once more through the handle, as PrepareLike does: Wine takes
    // of a list at creation less than it takes afterwards.
    const DWORD given = access.GiveTo(copy.Get());
    FileResult copied = given != ERROR_SUCCESS ? FromWinError(given) : CopyInto(source.Get(), copy.Get(), share);
    // The attributes once more, through the handle: Wine lifts the read-only
    // one when it is given the list. A copy that a power cut could take away
    // must not count as the safety copy.
    FILE_BASIC_INFO basic{};  // times of zero are left as they are
    basic.FileAttributes = attributes;
    if (copied &&
        (!SetFileInformationByHandle(copy.Get(), FileBasicInfo, &basic, sizeof basic) || !FlushFileBuffers(copy.Get())))
        copied = FromWinError(GetLastError());
    if (!copied) {
        copy.Reset();
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(target.c_str());
    }
    return copied;
}

std::wstring WithoutLongForm(const std::wstring& path)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path.substr(4);
    return path;
}

// The name the system keeps for an open file, in the form the Win32 calls
// take ("C:\..." or "\\server\share\..."), not its "\\?\" form.
FileResult FinalName(HANDLE file, std::wstring& name)
{
    constexpr DWORD Form = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    std::wstring found;
    DWORD answer = GetFinalPathNameByHandleW(file, nullptr, 0, Form);
    // Renamed meanwhile to a longer name, the file is asked again with the
    // room that name needs.
    while (answer > found.size()) {
        found.assign(answer, L'\0');
        answer = GetFinalPathNameByHandleW(file, found.data(), static_cast<DWORD>(found.size()), Form);
    }
    if (answer == 0) {
        const DWORD error = GetLastError();
        // Wine keeps the name in a buffer of about MAX_PATH of its own and
        // answers this for a longer one, whatever room it is given: a name
        // longer than the system reports, not a failure to show as a code.
        if (error == ERROR_MORE_DATA)
            return {FileError::NameTooLong, static_cast<int>(error)};
        return FromWinError(error);
    }
    found.resize(answer);
    name = WithoutLongForm(found);
    return {};
}

// Opens a file or folder only to ask about it: no access, every sharing, so
// nobody who has it open is disturbed.
UniqueHandle OpenToAsk(const std::wstring& path)
{
    return UniqueHandle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::size_t LastNameStart(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? 0 : separator + 1;
}

class WinFileSystem final : public FileSystem {
public:
    FileResult Copy(const std::string& existing, const std::string& target, const WhileWaiting& whileWaiting) override
    {
        // The error is read on the thread that did the copy: it is per thread.
        return WaitingFor([&](StepShare& share) { return CopyHeld(WidePath(existing), WidePath(target), share); },
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
        const std::wstring wide = WidePath(path);
        if (DeleteFileW(wide.c_str()))
            return {};
        const DWORD error = GetLastError();
        // DeleteFileW refuses a link to a folder; such a link is removed as a
        // folder, which removes the link and leaves its target alone.
        if (!AttributesShowFolderLink(GetFileAttributesW(wide.c_str())))
            return FromWinError(error);
        if (RemoveDirectoryW(wide.c_str()))
            return {};
        return FromWinError(GetLastError());
    }

    FileResult Rename(const std::string& from, const std::string& to) override
    {
        if (MoveFileW(WidePath(from).c_str(), WidePath(to).c_str()))
            return {};
        return FromWinError(GetLastError());
    }

    FileResult PutBack(const std::string& copy, const std::string& path) override
    {
        const std::wstring from = WidePath(copy);
        const std::wstring to = WidePath(path);
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
        if (CreateHardLinkW(WidePath(name).c_str(), WidePath(path).c_str(), nullptr))
            return Flush(name);
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS || error == ERROR_FILE_NOT_FOUND ||
            error == ERROR_PATH_NOT_FOUND || error == ERROR_SHARING_VIOLATION)
            return FromWinError(error);
        return Copy(path, name, {});
    }

    std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix) override
    {
        std::vector<std::string> found;
        const std::wstring wideSuffix = AnsiToWide(suffix);
        WIN32_FIND_DATAW entry{};
        const HANDLE listing = FindFirstFileExW(WidePath(folder + "*" + suffix).c_str(), FindExInfoBasic, &entry,
                                                FindExSearchNameMatch, nullptr, 0);
        if (listing == INVALID_HANDLE_VALUE)
            return found;
        do {
            // The pattern also matches short 8.3 names; only the long name
            // counts, and only one whose letters the code page holds.
            const std::wstring name = entry.cFileName;
            if (name.size() <= wideSuffix.size() || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
                CompareStringOrdinal(name.c_str() + name.size() - wideSuffix.size(),
                                     static_cast<int>(wideSuffix.size()), wideSuffix.c_str(),
                                     static_cast<int>(wideSuffix.size()), TRUE) != CSTR_EQUAL)
                continue;
            if (const std::optional<std::string> ansi = ExactAnsi(name))
                found.push_back(folder + *ansi);
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
        return found;
    }

    bool Exists(const std::string& path) override
    {
        return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool IsLink(const std::string& path) override
    {
        return AttributesShowLink(GetFileAttributesW(WidePath(path).c_str()));
    }

    PathKind KindOf(const std::string& path) override
    {
        const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
        return KindFromAttributes(attributes, GetLastError());
    }

    std::string Identity(const std::string& path) override
    {
        const UniqueHandle file(
            CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

    FileResult Size(const std::string& path, std::uint64_t& bytes) override
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
            return FromWinError(GetLastError());
        bytes = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return {};
    }

    FileResult FreeSpace(const std::string& folder, std::uint64_t& bytes) override
    {
        // The caller's share: a disk quota counts, as it does for writes.
        ULARGE_INTEGER available{};
        if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : WidePath(folder).c_str(), &available, nullptr, nullptr))
            return FromWinError(GetLastError());
        bytes = available.QuadPart;
        return {};
    }

    FileResult Flush(const std::string& path) override { return FlushFile(WidePath(path)); }

    FileResult Read(const std::string& path,
                    const std::function<void(const char* data, std::size_t size)>& piece) override
    {
        const UniqueHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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
        const UniqueHandle modelFile(CreateFileW(WidePath(model).c_str(), READ_CONTROL,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!modelFile.Valid())
            return FromWinError(GetLastError());
        AccessListOf access(modelFile.Get());
        if (access.Error() != ERROR_SUCCESS)
            return FromWinError(access.Error());
        // A new file carries the list from its first moment, so nobody can
        // open it more widely in between; an existing one is given it below.
        const UniqueHandle file(CreateFileW(WidePath(target).c_str(), READ_CONTROL | WRITE_DAC,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, access.ForNewFile(),
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid())
            return FromWinError(GetLastError());
        const DWORD set = access.GiveTo(file.Get());
        if (set != ERROR_SUCCESS)
            return FromWinError(set);
        return {};
    }

    // The restored database is gbak's new file, made with what its folder
    // passes down; it gets the safety copy's list, which is the database's.
    // Its owner is the tool's user either way.
    bool CopyOwnerAndMode(const std::string& model, const std::string& target) override
    {
        return static_cast<bool>(PrepareLike(model, target));
    }

    FileResult Canonical(const std::string& path, std::string& canonical) override
    {
        // What the window could not narrow exactly comes as '?', which no
        // file name holds; looking it up would only report it missing.
        if (path.find('?') != std::string::npos)
            return {FileError::NotInCodePage, 0};
        const std::wstring wide = WidePath(path);
        // The error is the naming call's own, not what closing its handle
        // may leave behind.
        std::wstring final;
        FileResult named;
        if (const UniqueHandle file = OpenToAsk(wide); file.Valid()) {
            named = FinalName(file.Get(), final);
        } else {
            // No file (yet): its folder's name, and the file's name as the
            // system would take it, without a trailing dot or blank. With
            // no folder either, nothing is there to be mistaken for it.
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                return FromWinError(error);
            std::wstring full(32768, L'\0');
            const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
            if (length == 0 || length >= full.size())
                return FromWinError(GetLastError());
            full.resize(length);
            const std::size_t nameStart = LastNameStart(full);
            if (const UniqueHandle folder = OpenToAsk(full.substr(0, nameStart)); folder.Valid()) {
                named = FinalName(folder.Get(), final);
                if (named) {
                    if (final.empty() || final.back() != L'\\')
                        final += L'\\';
                    final += full.substr(nameStart);
                }
            } else {
                final = WithoutLongForm(full);
            }
        }
        if (!named)
            return named;
        const std::optional<std::string> ansi = ExactAnsi(final);
        if (!ansi)
            return {FileError::NotInCodePage, 0};
        canonical = *ansi;
        return {};
    }

    FileResult CheckReplaceable(const std::string& path) override
    {
        const std::wstring wide = WidePath(path);
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return FromWinError(GetLastError());
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return {FileError::ReadOnly, 0};
        // The system itself decides, with every rule it has (the file's
        // list, the folder's right to delete what it holds, privileges):
        // the file is opened as its replacement would need it, sharing
        // everything so that only a holder who forbids deletion refuses.
        const UniqueHandle file(CreateFileW(wide.c_str(), DELETE | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid())
            return FromWinError(GetLastError());
        return {};
    }
};

}  // namespace

std::unique_ptr<FileSystem> CreateFileSystem()
{
    return std::make_unique<WinFileSystem>();
}

}  // namespace platform
