#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

// The platform's file system, except that every volume reports room to
// spare: as if another program filled the disk right after the run checked
// it, so that the steps' own handling of a full disk can be seen.
class RoomTakenLater final : public platform::FileSystem {
public:
    using FileResult = platform::FileResult;

    FileResult Copy(const std::string& existing, const std::string& target,
                    const platform::WhileWaiting& whileWaiting) override
    {
        return real_->Copy(existing, target, whileWaiting);
    }
    FileResult Delete(const std::string& path) override { return real_->Delete(path); }
    FileResult Rename(const std::string& from, const std::string& to) override { return real_->Rename(from, to); }
    FileResult PutBack(const std::string& copy, const std::string& path) override { return real_->PutBack(copy, path); }
    FileResult KeepAs(const std::string& path, const std::string& name) override { return real_->KeepAs(path, name); }
    FileResult Size(const std::string& path, std::uint64_t& bytes) override { return real_->Size(path, bytes); }
    FileResult FreeSpace(const std::string&, std::uint64_t& bytes) override
    {
        bytes = std::uint64_t{1} << 50;
        return {};
    }
    bool Exists(const std::string& path) override { return real_->Exists(path); }
    bool IsLink(const std::string& path) override { return real_->IsLink(path); }
    platform::PathKind KindOf(const std::string& path) override { return real_->KindOf(path); }
    std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix) override
    {
        return real_->FilesEndingWith(folder, suffix);
    }
    std::string Identity(const std::string& path) override { return real_->Identity(path); }
    FileResult Flush(const std::string& path) override { return real_->Flush(path); }
    FileResult Read(const std::string& path,
                    const std::function<void(const char* data, std::size_t size)>& piece) override
    {
        return real_->Read(path, piece);
    }
    FileResult PrepareLike(const std::string& model, const std::string& target) override
    {
        return real_->PrepareLike(model, target);
    }
    FileResult Canonical(const std::string& path, std::string& canonical) override
    {
        return real_->Canonical(path, canonical);
    }
    FileResult CheckReplaceable(const std::string& path) override { return real_->CheckReplaceable(path); }
    bool CopyOwnerAndMode(const std::string& model, const std::string& target) override
    {
        return real_->CopyOwnerAndMode(model, target);
    }

private:
    std::unique_ptr<platform::FileSystem> real_ = platform::CreateFileSystem();
};
