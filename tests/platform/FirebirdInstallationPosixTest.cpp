#include "platform/FirebirdInstallation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>

#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdVariable.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using platform::FirebirdInstallation;
using Lookup = FirebirdInstallation::Lookup;

struct Found {
    Lookup lookup = Lookup::NotInstalled;
    std::string gbak;
    std::vector<std::string> clients;
    std::vector<std::string> lookedIn;

    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& f)
{
    out << "{lookup " << static_cast<int>(f.lookup) << ", gbak \"" << f.gbak << "\", clients";
    for (const std::string& client : f.clients)
        out << " \"" << client << "\"";
    out << ", looked in";
    for (const std::string& place : f.lookedIn)
        out << " \"" << place << "\"";
    return out << "}";
}

Found Find()
{
    const FirebirdInstallation installation = platform::FindFirebirdInstallation();
    return {installation.lookup, installation.gbak, installation.clients, installation.lookedIn};
}

// A folder laid out as Firebird's own Linux kit lays itself out, from the
// distribution's files: bin/gbak and lib/libfbclient.so.
std::string MakeKit(const std::string& root, bool withClient)
{
    fs::create_directories(root + "/bin");
    fs::create_symlink("/usr/bin/gbak", root + "/bin/gbak");
    if (withClient) {
        fs::create_directories(root + "/lib");
        WriteFileBytes(root + "/lib/libfbclient.so", "");
    }
    return root;
}

TEST(FirebirdInstallationPosix, FoundThroughFirebirdVariableThenTheUsualFolders)
{
    TempDir dir;
    const std::string kit = MakeKit(dir.File("Firebird 5"), true);
    const std::string bare = MakeKit(dir.File("no client"), false);
    fs::create_directory(dir.File("empty"));
    const bool optKit = fs::exists("/opt/firebird/bin/gbak");
    const Found usual = optKit ? Found{Lookup::Found,
                                       "/opt/firebird/bin/gbak",
                                       fs::exists("/opt/firebird/lib/libfbclient.so")
                                           ? std::vector<std::string>{"/opt/firebird/lib/libfbclient.so"}
                                           : std::vector<std::string>{},
                                       {"/opt/firebird/bin/gbak"}}
                               : Found{Lookup::Found, "/usr/bin/gbak", {}, {"/opt/firebird/bin/gbak", "/usr/bin/gbak"}};
    const struct {
        const char* name;
        std::optional<std::string> variable;
        Found expected;
    } cases[] = {
        {"the kit's own gbak and client",
         kit,
         {Lookup::Found, kit + "/bin/gbak", {kit + "/lib/libfbclient.so"}, {kit + "/bin/gbak"}}},
        {"trailing slashes dropped",
         kit + "///",
         {Lookup::Found, kit + "/bin/gbak", {kit + "/lib/libfbclient.so"}, {kit + "/bin/gbak"}}},
        {"a kit without its client: the client is looked for by name",
         bare,
         {Lookup::Found, bare + "/bin/gbak", {}, {bare + "/bin/gbak"}}},
        {"a folder without gbak: the usual folders are not tried",
         dir.File("empty"),
         {Lookup::NotInstalled, "", {}, {dir.File("empty") + "/bin/gbak"}}},
        {"a folder that does not exist",
         dir.File("missing"),
         {Lookup::NotInstalled, "", {}, {dir.File("missing") + "/bin/gbak"}}},
        {"unset: the usual folders", std::nullopt, usual},
        {"empty counts as unset", std::string(), usual},
    };
    for (const auto& c : cases) {
        ScopedFirebirdVariable variable(c.variable);
        EXPECT_EQ(Find(), c.expected) << c.name;
    }
}

// Made only where no real installation is, and taken away again.
class EmptyOptFirebird {
public:
    EmptyOptFirebird() : made_(fs::create_directory("/opt/firebird")) {}
    ~EmptyOptFirebird()
    {
        if (made_)
            fs::remove("/opt/firebird");
    }
    EmptyOptFirebird(const EmptyOptFirebird&) = delete;
    EmptyOptFirebird& operator=(const EmptyOptFirebird&) = delete;
    bool Made() const { return made_; }

private:
    bool made_;
};

TEST(FirebirdInstallationPosix, AnEmptyOptFirebirdDoesNotHideThePackagedGbak)
{
    if (fs::exists("/opt/firebird"))
        GTEST_SKIP() << "/opt/firebird is a real folder here";
    if (!fs::exists("/usr/bin/gbak"))
        GTEST_SKIP() << "no packaged gbak";
    EmptyOptFirebird empty;
    if (!empty.Made())
        GTEST_SKIP() << "/opt/firebird cannot be made here";
    ScopedFirebirdVariable variable(std::nullopt);
    EXPECT_EQ(Find(), (Found{Lookup::Found, "/usr/bin/gbak", {}, {"/opt/firebird/bin/gbak", "/usr/bin/gbak"}}));
}

}  // namespace
