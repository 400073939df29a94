#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/WhileWaiting.h"

namespace platform {

// Why a file operation was refused, as far as the operator can act on it.
enum class FileError {
    None,
    Held,           // another process has the file open
    NotFound,       // the file or a folder on its path does not exist
    AccessDenied,   // no permission, or a read-only file or medium
    DiskFull,       // no space left (or over a quota)
    TargetExists,   // the new name is taken
    NotAFile,       // a folder, or something else that is not a plain file
    NameTooLong,    // the path or one of its names is longer than the system takes
    ReadOnly,       // the file has the read-only attribute
    NotInCodePage,  // a name on the path has letters the system's code page lacks
    Stopped,        // the waiter asked the step to stop, and it did
    Other,          // anything else: `systemCode` says what the system said
};

// What is at a path itself; a link is not followed.
enum class PathKind { Missing, File, Folder, Link, Other };

struct FileResult {
    FileError error = FileError::None;
    int systemCode = 0;  // errno or GetLastError(), for FileError::Other
    explicit operator bool() const { return error == FileError::None; }
};

// The file operations a cleaning run needs, with Windows' guarantees on every
// platform. Paths are 8-bit strings in the system's code page. Every operation
// reports success; none throws.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Copies `existing` to `target`; fails when `target` exists (never
    // overwrites), when `existing` is missing, unreadable or held by another
    // process for writing, and leaves no partial target behind. Nobody can
    // write into `existing` while it is copied, and the copy has no wider
    // access than `existing` from its first moment. The complete copy and its
    // name are on the disk before it returns. Calls `whileWaiting` every
    // WhileWaitingInterval until the copy is done, with the bytes written so
    // far; when it answers false the copy ends with Stopped, leaving no
    // target.
    virtual FileResult Copy(const std::string& existing, const std::string& target,
                            const WhileWaiting& whileWaiting = {}) = 0;
    // Deletes a file (a link itself, not what it leads to); fails when another
    // process holds the file. When it returns true the name is gone for good:
    // a power cut afterwards does not bring it back.
    virtual FileResult Delete(const std::string& path) = 0;
    // Renames within one volume; fails when `to` exists (never replaces).
    virtual FileResult Rename(const std::string& from, const std::string& to) = 0;
    // Puts `copy` in the place of `path` in one step: `path` is replaced when
    // it exists and nobody holds it, taken when it does not exist. When that
    // cannot be done, both stay exactly as they were, so the path is never
    // left empty by a put-back that could not finish.
    virtual FileResult PutBack(const std::string& copy, const std::string& path) = 0;
    // Gives the file at `path` the second name `name` in the same folder,
    // durably; fails when `name` exists (never replaces). A hard link where
    // the file system has them, a complete copy where it has not.
    virtual FileResult KeepAs(const std::string& path, const std::string& name) = 0;
    // The size in bytes of the file at `path`.
    virtual FileResult Size(const std::string& path, std::uint64_t& bytes) = 0;
    // The bytes this process may still write on the volume that holds
    // `folder` (which ends with its separator; empty for the current folder),
    // after any quota.
    virtual FileResult FreeSpace(const std::string& folder, std::uint64_t& bytes) = 0;
    // Whether something exists at `path`.
    virtual bool Exists(const std::string& path) = 0;
    // Whether `path` itself is a symbolic link or another reparse point.
    virtual bool IsLink(const std::string& path) = 0;
    virtual PathKind KindOf(const std::string& path) = 0;
    // The paths of the files in `folder` (which ends with its separator)
    // whose names end with `suffix`, in any letter case where names have
    // none; empty when the folder cannot be read.
    virtual std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix) = 0;
    // What tells this very file apart from any other on the machine (its
    // device or volume and its file number): kept by renames and by writes
    // into the file, new for every copy. Empty when nothing is there.
    virtual std::string Identity(const std::string& path) = 0;
    // Puts the file's content, its attributes and its name in its folder on
    // the disk before it returns, so that a power cut afterwards keeps them.
    virtual FileResult Flush(const std::string& path) = 0;
    // Reads the whole file from its start, handing `piece` each part in
    // order; for files of any size, in memory of a bounded size.
    virtual FileResult Read(const std::string& path,
                            const std::function<void(const char* data, std::size_t size)>& piece) = 0;
    // Makes `target` a file with no wider access than `model` before anything
    // is written into it: created empty when missing, an existing file kept
    // and given that access. A program that writes into the file afterwards
    // keeps what it was given.
    virtual FileResult PrepareLike(const std::string& model, const std::string& target) = 0;
    // The one name under which the system knows the file at `path`, however
    // it was spelt (letter case, a short 8.3 name, a trailing dot or blank,
    // another drive letter for the same folder), so that every name derived
    // from it is the same for every spelling. For a missing file, its
    // folder's such name and the file name as given. Paths stay as they are
    // where the system has one spelling per file.
    virtual FileResult Canonical(const std::string& path, std::string& canonical) = 0;
    // Whether this process may delete the file and write into it, as
    // replacing it needs: fails with ReadOnly for the read-only attribute,
    // AccessDenied when the file's access list forbids either, Held when
    // another process keeps it from being deleted.
    virtual FileResult CheckReplaceable(const std::string& path) = 0;
    // Gives `target` the permission bits and, where allowed, the owner and
    // group of `model`; where files carry an access list instead, the
    // model's list.
    virtual bool CopyOwnerAndMode(const std::string& model, const std::string& target) = 0;
};

std::unique_ptr<FileSystem> CreateFileSystem();

}  // namespace platform
