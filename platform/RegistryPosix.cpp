#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "platform/ToolFile.h"
#include "platform/UniqueFd.h"

// There is no registry here. The reader answers the one key and value the
// tool asks for from where Firebird lives on this machine: the folder in
// FIREBIRD (Firebird's own name for its root), else /opt/firebird (its own
// installer), else /usr (distribution packages, gbak in /usr/bin). A default
// folder counts only when it holds bin/gbak: an empty or half-removed
// /opt/firebird must not hide the packaged tool.
namespace platform {
namespace {

bool HoldsGbak(const std::string& folder)
{
    struct stat info {};
    return stat((folder + "/" + GbakRelativePath()).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// The installation folder, or nothing when no installation is found. A
// FIREBIRD that names nothing is not overridden by the defaults: the
// operator asked for that folder.
std::optional<std::string> FindInstallation()
{
    const char* configured = std::getenv("FIREBIRD");
    if (configured != nullptr && *configured != '\0') {
        struct stat info {};
        if (stat(configured, &info) != 0)
            return std::nullopt;
        return std::string(configured);
    }
    for (const char* candidate : {"/opt/firebird", "/usr"}) {
        if (HoldsGbak(candidate))
            return std::string(candidate);
    }
    return std::nullopt;
}

std::string WithOneTrailingSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

class PosixRegistryReader final : public RegistryReader {
public:
    explicit PosixRegistryReader(std::uint32_t root) : root_(root) {}

    bool KeyExists(const std::string& key) override
    {
        return IsOurKey(key) && FindInstallation().has_value();
    }

    bool OpenKey(const std::string& key) override
    {
        CloseKey();
        if (!IsOurKey(key))
            return false;
        std::optional<std::string> folder = FindInstallation();
        if (!folder)
            return false;
        // The open folder stands for the key handle: readable and searchable,
        // or the key does not open.
        UniqueFd handle(open(folder->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!handle.Valid() || faccessat(AT_FDCWD, folder->c_str(), R_OK | X_OK, AT_EACCESS) != 0)
            return false;
        key_ = std::move(handle);
        folder_ = WithOneTrailingSlash(*folder);
        return true;
    }

    std::string ReadString(const std::string& valueName) override
    {
        if (!key_.Valid() || valueName != DefaultInstanceValue)
            return {};
        return folder_;
    }

    void CloseKey() override
    {
        key_.Reset();
        folder_.clear();
    }

private:
    bool IsOurKey(const std::string& key) const { return root_ == HkeyLocalMachine && key == FirebirdInstancesKey; }

    std::uint32_t root_;
    UniqueFd key_;
    std::string folder_;
};

}  // namespace

std::unique_ptr<RegistryReader> CreateRegistryReader(std::uint32_t root, std::uint32_t /*access*/)
{
    return std::make_unique<PosixRegistryReader>(root);
}

}  // namespace platform
