#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileErrorPosix.h"
#include "platform/FolderSyncPosix.h"
#include "platform/UniqueFd.h"

// Windows refuses to copy or delete a file that a running database holds open,
// and the cleaning run relies on that. Here the equivalent is the advisory
// flock that Firebird's engine and server keep on an attached database, so
// copy and delete take a non-blocking exclusive flock first.
namespace platform {
namespace {

// Bounded, so the memory a copy takes does not grow with the file.
constexpr std::size_t CopyBufferSize = 1 << 20;
// How much the kernel copies per call, and how much is copied before its
// write-back is started.
constexpr std::size_t CopyStretch = 64 << 20;

// False only when another holder refuses the lock. A file system without
// flock support cannot be holding one, so it does not stop us.
bool TakeExclusiveLock(int fd)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    return errno != EWOULDBLOCK;
}

// Takes the exclusive lock on the plain file `path` (whose lstat is `info`)
// into `held`; false only when another holder has it. Anything else at the
// path is not locked.
bool LockIfRegular(const std::string& path, const struct stat& info, UniqueFd& held)
{
    if (!S_ISREG(info.st_mode))
        return true;
    held = UniqueFd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    return !held.Valid() || TakeExclusiveLock(held.Get());
}

// The copy is flushed before it counts, and flushing it only at the end would
// leave the disk idle while the bytes are copied and then make the copy wait
// while they are written. Starting the write-back of each finished stretch at
// once overlaps the two; the final fsync then has little left to do.
class WriteBack {
public:
    WriteBack(int fd, StepShare& share) : fd_(fd), share_(share) {}

    // False, with errno ECANCELED, once the waiter has asked to stop.
    bool Copied(std::size_t bytes)
    {
        copied_ += static_cast<off_t>(bytes);
        share_.bytes = static_cast<std::uint64_t>(copied_);
        if (share_.stop) {
            errno = ECANCELED;
            return false;
        }
        if (copied_ - started_ >= static_cast<off_t>(CopyStretch)) {
            // Only a head start: the final fsync reports any error.
            sync_file_range(fd_, started_, copied_ - started_, SYNC_FILE_RANGE_WRITE);
            started_ = copied_;
        }
        return true;
    }

private:
    int fd_;
    StepShare& share_;
    off_t started_ = 0;
    off_t copied_ = 0;
};

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads `fd` from its offset to its end in bounded pieces, handing `piece`
// each one; false, with errno set, when a read fails or `piece` says no.
bool ReadPieces(int fd, const std::function<bool(const char* data, std::size_t size)>& piece)
{
    std::vector<char> buffer(CopyBufferSize);
    for (;;) {
        const ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (!piece(buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

// Copies from the current offsets to the end of `from`.
bool ReadWriteCopy(int from, int to, WriteBack& writeBack)
{
    return ReadPieces(from, [&](const char* data, std::size_t size) {
        return WriteAll(to, data, size) && writeBack.Copied(size);
    });
}

bool CopyContents(int from, int to, StepShare& share)
{
    // Sharing the extents (btrfs, XFS) is near instant; a stop asked for
    // meanwhile still counts, as it would for any copy.
    if (ioctl(to, FICLONE, from) == 0) {
        if (share.stop)
            errno = ECANCELED;
        return !share.stop;
    }
    // The kernel copies without passing the bytes through us. It ends with 0;
    // a 0 before any byte may also mean a file it cannot copy itself (procfs
    // reports size 0), which read() then copies.
    WriteBack writeBack(to, share);
    bool anyCopied = false;
    for (;;) {
        const ssize_t copied = copy_file_range(from, nullptr, to, nullptr, CopyStretch, 0);
        if (copied > 0) {
            anyCopied = true;
            if (!writeBack.Copied(static_cast<std::size_t>(copied)))
                return false;
            continue;
        }
        if (copied == 0) {
            if (anyCopied)
                return true;
            break;
        }
        if (errno == EINTR)
            continue;
        const bool unsupported =
            errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EBADF;
        if (anyCopied || !unsupported)
            return false;
        break;
    }
    return ReadWriteCopy(from, to, writeBack);
}

// Removes a target that was created but not completed, unless kept.
class PartialTarget {
public:
    explicit PartialTarget(const std::string& path) : path_(path) {}
    ~PartialTarget()
    {
        if (!kept_)
            unlink(path_.c_str());
    }
    PartialTarget(const PartialTarget&) = delete;
    PartialTarget& operator=(const PartialTarget&) = delete;
    void Keep() { kept_ = true; }

private:
    const std::string& path_;
    bool kept_ = false;
};

// The model's owner and group where this process may set them, then its
// permission bits, narrowed where the owner or group could not be had: the
// bits the model gives its group must not go to another group, nor its
// owner's to another user beyond us.
bool GiveAccessOf(int fd, const struct stat& model)
{
    if (fchown(fd, model.st_uid, model.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), model.st_gid) != 0) {
        // Neither is allowed: the file belongs to us, like any new file.
    }
    struct stat now {};
    if (fstat(fd, &now) != 0)
        return false;
    mode_t mode = model.st_mode & 07777;
    if (now.st_gid != model.st_gid)
        mode &= ~static_cast<mode_t>(S_IRWXG | S_ISGID);
    if (now.st_uid != model.st_uid)
        mode &= ~static_cast<mode_t>(S_ISUID);
    // Owner before mode: a change of owner clears the set-id bits.
    return fchmod(fd, mode) == 0;
}

class PosixFileSystem final : public FileSystem {
public:
    FileResult Copy(const std::string& existing, const std::string& target, const WhileWaiting& whileWaiting) override
    {
        return WaitingFor([&](StepShare& share) { return CopyNow(existing, target, share); }, whileWaiting);
    }

    FileResult CopyNow(const std::string& existing, const std::string& target, StepShare& share)
    {
        UniqueFd source(open(existing.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        if (!source.Valid())
            return FromErrno(errno);
        if (!TakeExclusiveLock(source.Get()))
            return {FileError::Held, EWOULDBLOCK};
        struct stat info {};
        if (fstat(source.Get(), &info) != 0)
            return FromErrno(errno);
        if (!S_ISREG(info.st_mode))
            return {FileError::NotAFile, EINVAL};

        // O_EXCL: never overwrites, and never writes through a link at target.
        UniqueFd copy(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, S_IRUSR | S_IWUSR));
        if (!copy.Valid())
            return FromErrno(errno);
        PartialTarget partial(target);
        if (!CopyContents(source.Get(), copy.Get(), share))
            return FromErrno(errno);
        if (!GiveAccessOf(copy.Get(), info))
            return FromErrno(errno);
        const timespec times[2] = {info.st_atim, info.st_mtim};
        futimens(copy.Get(), times);  // nice to keep, not worth failing for
        if (fsync(copy.Get()) != 0 || !copy.Close() || !SyncFolderOf(target))
            return FromErrno(errno);
        partial.Keep();
        return {};
    }

    FileResult Delete(const std::string& path) override
    {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0)
            return FromErrno(errno);
        // The lock is held until the name is gone, so nobody attaches between
        // the test and the unlink. A link is removed itself, never tested.
        UniqueFd held;
        if (!LockIfRegular(path, info, held))
            return {FileError::Held, EWOULDBLOCK};
        if (unlink(path.c_str()) != 0)
            return FromErrno(errno);
        // A deletion that a power cut could undo would bring back a file that
        // the steps after it count on being gone.
        SyncFolderOf(path);
        return {};
    }

    FileResult Rename(const std::string& from, const std::string& to) override
    {
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return {};
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return FromErrno(errno);
        // The file system refuses the flag. A hard link cannot replace either.
        if (link(from.c_str(), to.c_str()) != 0)
            return FromErrno(errno);
        if (unlink(from.c_str()) == 0)
            return {};
        // The reason is the unlink's; undoing the link must not overwrite it.
        const FileResult failed = FromErrno(errno);
        unlink(to.c_str());
        return failed;
    }

    FileResult PutBack(const std::string& copy, const std::string& path) override
    {
        struct stat info {};
        if (lstat(copy.c_str(), &info) != 0)
            return FromErrno(errno);
        if (lstat(path.c_str(), &info) != 0) {
            if (errno != ENOENT)
                return FromErrno(errno);
            if (const FileResult renamed = Rename(copy, path); !renamed)
                return renamed;
        } else {
            // The lock is held across the rename, so nobody attaches the old
            // file between the test and its replacement, and a file somebody
            // holds is never replaced under them.
            UniqueFd held;
            if (!LockIfRegular(path, info, held))
                return {FileError::Held, EWOULDBLOCK};
            if (rename(copy.c_str(), path.c_str()) != 0)
                return FromErrno(errno);
        }
        // The journal that would finish a put-back goes once this returns.
        if (!SyncFolderOf(path))
            return FromErrno(errno);
        return {};
    }

    FileResult KeepAs(const std::string& path, const std::string& name) override
    {
        if (link(path.c_str(), name.c_str()) == 0) {
            if (!SyncFolderOf(name))
                return FromErrno(errno);
            return {};
        }
        const int error = errno;
        if (error != EPERM && error != EOPNOTSUPP && error != EXDEV && error != EMLINK)
            return FromErrno(error);
        StepShare unwatched;
        return CopyNow(path, name, unwatched);
    }

    std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix) override
    {
        std::vector<std::string> found;
        struct CloseListing {
            void operator()(DIR* listing) const { closedir(listing); }
        };
        const std::unique_ptr<DIR, CloseListing> listing(opendir(folder.empty() ? "." : folder.c_str()));
        if (!listing)
            return found;
        while (const dirent* entry = readdir(listing.get())) {
            const std::string name = entry->d_name;
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                found.push_back(folder + name);
        }
        return found;
    }

    FileResult Size(const std::string& path, std::uint64_t& bytes) override
    {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0)
            return FromErrno(errno);
        bytes = static_cast<std::uint64_t>(info.st_size);
        return {};
    }

    FileResult FreeSpace(const std::string& folder, std::uint64_t& bytes) override
    {
        struct statvfs volume {};
        if (statvfs(folder.empty() ? "." : folder.c_str(), &volume) != 0)
            return FromErrno(errno);
        // f_bavail, not f_bfree: the blocks kept for root are not ours.
        bytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
        return {};
    }

    bool Exists(const std::string& path) override
    {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0;
    }

    bool IsLink(const std::string& path) override
    {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    }

    PathKind KindOf(const std::string& path) override
    {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0)
            return PathKind::Missing;
        if (S_ISREG(info.st_mode))
            return PathKind::File;
        if (S_ISDIR(info.st_mode))
            return PathKind::Folder;
        return S_ISLNK(info.st_mode) ? PathKind::Link : PathKind::Other;
    }

    std::string Identity(const std::string& path) override
    {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0)
            return {};
        return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    }

    FileResult Flush(const std::string& path) override
    {
        UniqueFd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
        if (!file.Valid())
            return FromErrno(errno);
        if (fsync(file.Get()) != 0 || !SyncFolderOf(path))
            return FromErrno(errno);
        return {};
    }

    FileResult Read(const std::string& path,
                    const std::function<void(const char* data, std::size_t size)>& piece) override
    {
        UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        if (!file.Valid())
            return FromErrno(errno);
        posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        const bool read = ReadPieces(file.Get(), [&](const char* data, std::size_t size) {
            piece(data, size);
            return true;
        });
        return read ? FileResult{} : FromErrno(errno);
    }

    FileResult PrepareLike(const std::string& model, const std::string& target) override
    {
        struct stat info {};
        if (stat(model.c_str(), &info) != 0)
            return FromErrno(errno);
        // Created with no access for anyone else; it gets the model's own
        // access only once its owner and group are settled.
        UniqueFd file(open(target.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, S_IRUSR | S_IWUSR));
        if (!file.Valid())
            return FromErrno(errno);
        if (fchmod(file.Get(), S_IRUSR | S_IWUSR) != 0)
            return FromErrno(errno);
        if (!GiveAccessOf(file.Get(), info))
            return FromErrno(errno);
        return {};
    }

    // One spelling per file: the name as given is the one the journal and
    // the working files derive from, as they always have here.
    FileResult Canonical(const std::string& path, std::string& canonical) override
    {
        canonical = path;
        return {};
    }

    // Deleting a file takes write access to its folder, which the copy beside
    // it needs as well and checks; the file's own mode does not keep the
    // owner from replacing it.
    FileResult CheckReplaceable(const std::string&) override { return {}; }

    bool CopyOwnerAndMode(const std::string& model, const std::string& target) override
    {
        struct stat info {};
        if (stat(model.c_str(), &info) != 0)
            return false;
        UniqueFd file(open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
        return file.Valid() && GiveAccessOf(file.Get(), info);
    }
};

}  // namespace

std::unique_ptr<FileSystem> CreateFileSystem()
{
    return std::make_unique<PosixFileSystem>();
}

}  // namespace platform
