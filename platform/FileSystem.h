#pragma once

#include <memory>
#include <string>

#include "platform/WhileWaiting.h"

namespace platform {

// The file operations a cleaning run needs, with Windows' guarantees on every
// platform. Paths are 8-bit strings in the system's code page. Every operation
// reports success; none throws.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Copies `existing` to `target`; fails when `target` exists (never
    // overwrites), when `existing` is missing, unreadable or held by another
    // process, and leaves no partial target behind. Calls `whileWaiting`
    // every WhileWaitingInterval until the copy is done.
    virtual bool Copy(const std::string& existing, const std::string& target,
                      const WhileWaiting& whileWaiting = {}) = 0;
    // Deletes a file (a link itself, not what it leads to); fails when another
    // process holds the file.
    virtual bool Delete(const std::string& path) = 0;
    // Renames within one volume; fails when `to` exists (never replaces).
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    // Whether something exists at `path`.
    virtual bool Exists(const std::string& path) = 0;
    // Gives `target` the permission bits and, where allowed, the owner and
    // group of `model`. Nothing to do where files carry no such attributes.
    virtual bool CopyOwnerAndMode(const std::string& model, const std::string& target) = 0;
};

std::unique_ptr<FileSystem> CreateFileSystem();

}  // namespace platform
