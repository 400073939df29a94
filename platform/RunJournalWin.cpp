#include "platform/RunJournal.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/FileErrorWin.h"
#include "platform/UniqueHandleWin.h"
#include "platform/WideTextWin.h"

// The lock is the journal opened without sharing: nobody else can open it
// while this handle lives, and Windows closes the handle with the process,
// however it ends. Two named mutexes go with it, one for the journal's name
// and one for the database's identity: the first tells a run of this tool
// that holds the journal from another program that has the file open, the
// second keeps a run on another name of the same file out. The system
// destroys a mutex with the last handle to it, so a dead run leaves none.
namespace platform {
namespace {

constexpr DWORD MaxJournalSize = 4096;

bool Rewind(HANDLE file)
{
    LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

// A name of fixed length for any path, the same in 32- and 64-bit builds
// (FNV-1a over the upper-cased UTF-16 units): mutex names take no
// backslashes and are shorter than some paths.
std::string PathKey(std::wstring path)
{
    CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    std::uint64_t hash = 14695981039346656037ULL;
    for (const wchar_t unit : path) {
        hash ^= static_cast<std::uint16_t>(unit);
        hash *= 1099511628211ULL;
    }
    char text[17];
    for (int digit = 15; digit >= 0; --digit, hash >>= 4)
        text[digit] = "0123456789abcdef"[hash & 0xf];
    text[16] = '\0';
    return text;
}

// Global: runs in other sessions (another user, a scheduled task) count.
std::wstring MutexName(const std::string& kind, const std::string& key)
{
    return L"Global\\quenor-cleaner-" + AnsiToWide(kind + "-" + key);
}

enum class MutexClaim { Mine, Taken, Failed };

// Creates the mutex for this process alone; one that already exists, or
// that another user's run made and this one may not open, is taken.
MutexClaim ClaimMutex(const std::wstring& name, UniqueHandle& mutex)
{
    mutex = UniqueHandle(CreateMutexW(nullptr, FALSE, name.c_str()));
    const DWORD error = GetLastError();
    if (!mutex.Valid())
        return error == ERROR_ACCESS_DENIED ? MutexClaim::Taken : MutexClaim::Failed;
    if (error == ERROR_ALREADY_EXISTS) {
        mutex.Reset();
        return MutexClaim::Taken;
    }
    return MutexClaim::Mine;
}

class WinRunJournal final : public RunJournal {
public:
    WinRunJournal(UniqueHandle file, std::wstring path, std::string found, UniqueHandle nameLock, UniqueHandle fileLock)
        : nameLock_(std::move(nameLock)),
          fileLock_(std::move(fileLock)),
          file_(std::move(file)),
          path_(std::move(path)),
          found_(std::move(found))
    {
    }

    const std::string& Found() const override { return found_; }

    FileResult Write(const std::string& content) override
    {
        DWORD written = 0;
        if (Rewind(file_.Get()) &&
            WriteFile(file_.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
            written == content.size() && SetEndOfFile(file_.Get()) && FlushFileBuffers(file_.Get()))
            return {};
        return FromWinError(GetLastError());
    }

    bool Remove() override
    {
        const bool emptied = Rewind(file_.Get()) && SetEndOfFile(file_.Get()) && FlushFileBuffers(file_.Get());
        file_.Reset();
        // A run that opens it in the moment between finds it empty, holds it,
        // and keeps it from being deleted here: both are fine.
        const bool removed = DeleteFileW(path_.c_str()) != FALSE;
        nameLock_.Reset();
        fileLock_.Reset();
        return emptied || removed;
    }

private:
    // Declared first, so released after the file: a run that finds the
    // mutexes gone finds the journal free as well.
    UniqueHandle nameLock_;
    UniqueHandle fileLock_;
    UniqueHandle file_;
    std::wstring path_;
    std::string found_;
};

}  // namespace

JournalClaim ClaimRunJournal(const std::string& path, const std::string& databaseIdentity)
{
    const std::wstring wide = WidePath(path);
    UniqueHandle nameLock;
    const MutexClaim name = ClaimMutex(MutexName("journal", PathKey(wide)), nameLock);
    if (name == MutexClaim::Taken)
        return {ClaimOutcome::HeldByAnotherRun, nullptr, {}};
    if (name == MutexClaim::Failed)
        return {ClaimOutcome::Failed, nullptr, FromWinError(GetLastError())};
    UniqueHandle fileLock;
    if (!databaseIdentity.empty()) {
        const MutexClaim file = ClaimMutex(MutexName("file", databaseIdentity), fileLock);
        if (file == MutexClaim::Taken)
            return {ClaimOutcome::HeldByAnotherRun, nullptr, {}};
        if (file == MutexClaim::Failed)
            return {ClaimOutcome::Failed, nullptr, FromWinError(GetLastError())};
    }

    UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        // No run of this tool has the journal's mutex, so whoever has the
        // file open is not one.
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            return {ClaimOutcome::HeldByAnotherProgram, nullptr, FromWinError(error)};
        return {ClaimOutcome::Failed, nullptr, FromWinError(error)};
    }
    std::string found(MaxJournalSize, '\0');
    DWORD got = 0;
    if (!ReadFile(file.Get(), found.data(), MaxJournalSize, &got, nullptr))
        return {ClaimOutcome::Failed, nullptr, FromWinError(GetLastError())};
    found.resize(got);
    return {ClaimOutcome::Claimed,
            std::make_unique<WinRunJournal>(std::move(file), wide, std::move(found), std::move(nameLock),
                                            std::move(fileLock)),
            {}};
}

}  // namespace platform
