#include "platform/RunJournal.h"

#include <windows.h>

#include "platform/FileErrorWin.h"
#include "platform/UniqueHandleWin.h"
#include "platform/WideTextWin.h"

// The lock is the journal opened without sharing: nobody else can open it
// while this handle lives, and Windows closes the handle with the process,
// however it ends.
namespace platform {
namespace {

constexpr DWORD MaxJournalSize = 4096;

bool Rewind(HANDLE file)
{
    LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

class WinRunJournal final : public RunJournal {
public:
    WinRunJournal(UniqueHandle file, std::wstring path, std::string found)
        : file_(std::move(file)), path_(std::move(path)), found_(std::move(found))
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
        return emptied || removed;
    }

private:
    UniqueHandle file_;
    std::wstring path_;
    std::string found_;
};

}  // namespace

JournalClaim ClaimRunJournal(const std::string& path)
{
    const std::wstring wide = AnsiToWide(path);
    UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            return {ClaimOutcome::HeldByAnotherRun, nullptr, {}};
        return {ClaimOutcome::Failed, nullptr, FromWinError(error)};
    }
    std::string found(MaxJournalSize, '\0');
    DWORD got = 0;
    if (!ReadFile(file.Get(), found.data(), MaxJournalSize, &got, nullptr))
        return {ClaimOutcome::Failed, nullptr, FromWinError(GetLastError())};
    found.resize(got);
    return {ClaimOutcome::Claimed, std::make_unique<WinRunJournal>(std::move(file), wide, std::move(found)), {}};
}

}  // namespace platform
