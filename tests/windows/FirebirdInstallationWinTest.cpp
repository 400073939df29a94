// Where a Firebird installation is found on Windows: Wine's registry in both
// of its views, the folders each version installs itself in, and the client
// library of the right bitness among those the installation holds.
#include "platform/FirebirdInstallation.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ToolFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"

namespace {

using platform::FirebirdInstallation;
using platform::ProgramBits;
using Lookup = FirebirdInstallation::Lookup;

struct Found {
    Lookup lookup = Lookup::KeyMissing;
    std::string gbak;
    std::vector<std::string> clients;
    std::string otherBitnessClient;

    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& f)
{
    out << "{lookup " << static_cast<int>(f.lookup) << ", gbak \"" << f.gbak << "\", clients";
    for (const std::string& client : f.clients)
        out << " \"" << client << "\"";
    return out << ", other bitness \"" << f.otherBitnessClient << "\"}";
}

// The platform's own lookup, but for a program of `bits`: the 32-bit
// program's lookup is run from this 64-bit test program.
Found FindFor(ProgramBits bits)
{
    const FirebirdInstallation found = platform::FindInstallationInRegistry(
        [](ProgramBits view) {
            return platform::CreateRegistryReader(
                platform::HkeyLocalMachine,
                platform::KeyReadAccess | (view == ProgramBits::Bits64 ? platform::KeyView64 : platform::KeyView32));
        },
        bits);
    return {found.lookup, found.gbak, found.clients, found.otherBitnessClient};
}

TEST(FirebirdInstallationWin, EachVersionsLayoutInEitherRegistryViewIsFoundWithAClientTheProgramCanLoad)
{
    ASSERT_EQ(platform::ThisProgramBits, ProgramBits::Bits64) << "the rows are written for the 64-bit test program";
    TempDir dir;
    // Each installation as its version lays itself out; the clients are the
    // 64-bit stand-in and 32-bit headers.
    const std::string v25 = dir.Path() + "\\Firebird_2_5";
    StandInGbak gbak25(v25, {}, StandInGbak::Layout::Bin);
    PlaceStandInClient(v25 + "\\bin\\fbclient.dll");
    const std::string v50 = dir.Path() + "\\Firebird_5_0";
    StandInGbak gbak50(v50, {}, StandInGbak::Layout::Root);
    PlaceStandInClient(v50 + "\\fbclient.dll");
    PlaceThirtyTwoBitLibrary(v50 + "\\WOW64\\fbclient.dll");
    const std::string x86 = dir.Path() + "\\Firebird_3_0_x86";
    StandInGbak gbak30(x86, {}, StandInGbak::Layout::Root);
    PlaceThirtyTwoBitLibrary(x86 + "\\fbclient.dll");
    const std::string noTools = dir.Path() + "\\Firebird_without_tools";
    CreateDirectoryA(noTools.c_str(), nullptr);

    const struct {
        const char* name;
        std::optional<std::string> view64, view32;  // DefaultInstance in each view; nullopt: no key there
        ProgramBits program;
        Found expected;
    } cases[] = {
        {"2.5: gbak in Bin, its client in bin", v25 + "\\", std::nullopt, ProgramBits::Bits64,
         {Lookup::Found, v25 + "\\Bin\\gbak.exe", {v25 + "\\bin\\fbclient.dll"}, ""}},
        {"3.0 and later: both in the root", v50 + "\\", std::nullopt, ProgramBits::Bits64,
         {Lookup::Found, v50 + "\\gbak.exe", {v50 + "\\fbclient.dll"}, ""}},
        {"a value without its closing backslash", v50, std::nullopt, ProgramBits::Bits64,
         {Lookup::Found, v50 + "\\gbak.exe", {v50 + "\\fbclient.dll"}, ""}},
        {"the 32-bit program beside a 64-bit server: the other view, and the server's WOW64 client", v50 + "\\",
         std::nullopt, ProgramBits::Bits32,
         {Lookup::Found, v50 + "\\gbak.exe", {v50 + "\\WOW64\\fbclient.dll"}, ""}},
        {"the 32-bit program beside a 32-bit server: its own view", std::nullopt, x86 + "\\", ProgramBits::Bits32,
         {Lookup::Found, x86 + "\\gbak.exe", {x86 + "\\fbclient.dll"}, ""}},
        {"the 64-bit program beside a 32-bit server: gbak runs, the client is the other program's", std::nullopt,
         x86 + "\\", ProgramBits::Bits64, {Lookup::Found, x86 + "\\gbak.exe", {}, x86 + "\\fbclient.dll"}},
        {"both views hold one: the program's own first", v50 + "\\", x86 + "\\", ProgramBits::Bits32,
         {Lookup::Found, x86 + "\\gbak.exe", {x86 + "\\fbclient.dll"}, ""}},
        {"the own view's folder holds no gbak: the other view's installation", noTools + "\\", v25 + "\\",
         ProgramBits::Bits64, {Lookup::Found, v25 + "\\Bin\\gbak.exe", {v25 + "\\bin\\fbclient.dll"}, ""}},
        {"neither view has the key", std::nullopt, std::nullopt, ProgramBits::Bits64, {Lookup::KeyMissing, "", {}, ""}},
        {"only a folder without gbak", noTools, std::nullopt, ProgramBits::Bits64, {Lookup::GbakMissing, "", {}, ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<TestInstancesKey> key64, key32;
        if (c.view64)
            key64.emplace(StringValue(REG_SZ, *c.view64), KEY_WOW64_64KEY);
        if (c.view32)
            key32.emplace(StringValue(REG_SZ, *c.view32), KEY_WOW64_32KEY);

        EXPECT_EQ(FindFor(c.program), c.expected);
    }
}

// What the operator reads when gbak is nowhere: every place, in the order
// they were tried.
TEST(FirebirdInstallationWin, AMissingGbakListsEveryPlaceLookedIn)
{
    TempDir dir;
    const std::string empty = dir.Path() + "\\Firebird";
    CreateDirectoryA(empty.c_str(), nullptr);
    TestInstancesKey key(StringValue(REG_SZ, empty));

    const FirebirdInstallation found = platform::FindFirebirdInstallation();

    EXPECT_EQ(found.lookup, Lookup::GbakMissing);
    EXPECT_EQ(found.lookedIn, (std::vector<std::string>{empty + "\\Bin\\gbak.exe", empty + "\\gbak.exe"}));
}

TEST(FirebirdInstallationWin, LibraryBitsComeFromTheFilesHeader)
{
    TempDir dir;
    PlaceStandInClient(dir.Path() + "\\x64\\fbclient.dll");
    PlaceThirtyTwoBitLibrary(dir.Path() + "\\x86\\fbclient.dll");
    CreateDirectoryA((dir.Path() + "\\text").c_str(), nullptr);
    const std::string notALibrary = dir.Path() + "\\text\\fbclient.dll";
    WriteFileBytes(notALibrary, "MZ but nothing after it");

    EXPECT_EQ(platform::LibraryBits(dir.Path() + "\\x64\\fbclient.dll"), ProgramBits::Bits64);
    EXPECT_EQ(platform::LibraryBits(dir.Path() + "\\x86\\fbclient.dll"), ProgramBits::Bits32);
    EXPECT_EQ(platform::LibraryBits(notALibrary), std::nullopt);
    EXPECT_EQ(platform::LibraryBits(dir.Path() + "\\missing.dll"), std::nullopt);
}

}  // namespace
