#include "platform/RunJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileErrorPosix.h"
#include "platform/FolderSyncPosix.h"
#include "platform/UniqueFd.h"

// The lock is an flock on the journal's open file: the kernel drops it with
// the last descriptor, however the process ends.
namespace platform {
namespace {

// What a journal may say is a word and what the safety copy holds; anything
// longer is not ours to trust anyway.
constexpr std::size_t MaxJournalSize = 4096;

bool ReadAll(int fd, std::string& content)
{
    content.assign(MaxJournalSize, '\0');
    std::size_t got = 0;
    while (got < content.size()) {
        const ssize_t n = pread(fd, content.data() + got, content.size() - got, static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    content.resize(got);
    return true;
}

class PosixRunJournal final : public RunJournal {
public:
    PosixRunJournal(UniqueFd fd, std::string path, std::string found)
        : fd_(std::move(fd)), path_(std::move(path)), found_(std::move(found))
    {
    }

    const std::string& Found() const override { return found_; }

    FileResult Write(const std::string& content) override
    {
        // Written over the old text before the rest is cut off: a journal is
        // never empty while it has something to say.
        std::size_t done = 0;
        while (done < content.size()) {
            const ssize_t n = pwrite(fd_.Get(), content.data() + done, content.size() - done, static_cast<off_t>(done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return FromErrno(errno);
            }
            done += static_cast<std::size_t>(n);
        }
        if (ftruncate(fd_.Get(), static_cast<off_t>(content.size())) != 0 || fdatasync(fd_.Get()) != 0)
            return FromErrno(errno);
        return {};
    }

    bool Remove() override
    {
        const bool emptied = ftruncate(fd_.Get(), 0) == 0 && fdatasync(fd_.Get()) == 0;
        // Removed while still locked; a run that opened the old file in the
        // meantime sees that the name no longer leads to it and opens anew.
        const bool removed = unlink(path_.c_str()) == 0;
        if (removed)
            SyncFolderOf(path_);
        fd_.Reset();
        return emptied || removed;
    }

private:
    UniqueFd fd_;
    std::string path_;
    std::string found_;
};

// A journal another user made may be ours to lock but not to write.
JournalClaim ClaimReadOnly(const std::string& path, int openError)
{
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    if (fd.Valid() && flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return {ClaimOutcome::HeldByAnotherRun, nullptr, {}};
    return {ClaimOutcome::Failed, nullptr, FromErrno(openError)};
}

}  // namespace

JournalClaim ClaimRunJournal(const std::string& path, const std::string& /*databaseIdentity*/)
{
    // A run that ends removes the file while holding its lock; whoever opened
    // that file just before gets a lock on a file no longer at the name, and
    // tries again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666));
        if (!fd.Valid()) {
            const int error = errno;
            if (error == EACCES)
                return ClaimReadOnly(path, error);
            return {ClaimOutcome::Failed, nullptr, FromErrno(error)};
        }
        if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                return {ClaimOutcome::HeldByAnotherRun, nullptr, {}};
            return {ClaimOutcome::Failed, nullptr, FromErrno(errno)};
        }
        struct stat opened {};
        struct stat named {};
        if (fstat(fd.Get(), &opened) != 0)
            return {ClaimOutcome::Failed, nullptr, FromErrno(errno)};
        if (lstat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino)
            continue;
        std::string found;
        if (!ReadAll(fd.Get(), found))
            return {ClaimOutcome::Failed, nullptr, FromErrno(errno)};
        // The new name must outlive a power cut as much as what is written.
        if (!SyncFolderOf(path))
            return {ClaimOutcome::Failed, nullptr, FromErrno(errno)};
        return {ClaimOutcome::Claimed, std::make_unique<PosixRunJournal>(std::move(fd), path, std::move(found)), {}};
    }
    return {ClaimOutcome::HeldByAnotherRun, nullptr, {}};
}

}  // namespace platform
