#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/support/Unprivileged.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

using platform::CreateRegistryReader;
using platform::DefaultInstanceValue;
using platform::FirebirdInstancesKey;
using platform::HkeyLocalMachine;
using platform::KeyReadAccess;

// Sets FIREBIRD (or unsets it, for nullopt) and puts the old value back.
class FirebirdVariable {
public:
    explicit FirebirdVariable(const std::optional<std::string>& value)
    {
        if (const char* old = std::getenv("FIREBIRD"))
            old_ = old;
        if (value)
            setenv("FIREBIRD", value->c_str(), 1);
        else
            unsetenv("FIREBIRD");
    }
    ~FirebirdVariable()
    {
        if (old_)
            setenv("FIREBIRD", old_->c_str(), 1);
        else
            unsetenv("FIREBIRD");
    }
    FirebirdVariable(const FirebirdVariable&) = delete;
    FirebirdVariable& operator=(const FirebirdVariable&) = delete;

private:
    std::optional<std::string> old_;
};

struct Answer {
    bool exists = false;
    bool opens = false;
    std::string value;

    bool operator==(const Answer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& a)
{
    return out << "{exists " << a.exists << ", opens " << a.opens << ", \"" << a.value << "\"}";
}

Answer Ask()
{
    const auto reader = CreateRegistryReader(HkeyLocalMachine, KeyReadAccess);
    Answer answer;
    answer.exists = reader->KeyExists(FirebirdInstancesKey);
    answer.opens = reader->OpenKey(FirebirdInstancesKey);
    answer.value = reader->ReadString(DefaultInstanceValue);
    return answer;
}

TEST(PosixRegistryReader, FindsTheInstallationThroughFirebirdVariableThenTheUsualFolders)
{
    TempDir dir;
    const std::string root = dir.File("Firebird 3");
    std::filesystem::create_directory(root);
    WriteFileBytes(dir.File("a file"), "");
    const std::string usual = std::filesystem::exists("/opt/firebird/bin/gbak") ? "/opt/firebird/" : "/usr/";
    const struct {
        const char* name;
        std::optional<std::string> variable;
        Answer expected;
    } cases[] = {
        {"variable names a folder", root, {true, true, root + "/"}},
        {"trailing slashes become one", root + "///", {true, true, root + "/"}},
        {"variable names nothing: no installation", dir.File("missing"), {false, false, ""}},
        {"variable names a file: found but not opened", dir.File("a file"), {true, false, ""}},
        {"variable unset: the usual folders", std::nullopt, {true, true, usual}},
        {"variable empty counts as unset", std::string(), {true, true, usual}},
        {"root folder", std::string("/"), {true, true, "/"}},
    };
    for (const auto& c : cases) {
        FirebirdVariable variable(c.variable);
        EXPECT_EQ(Ask(), c.expected) << c.name;
    }
}

// Made only where no real installation is, and taken away again.
class EmptyOptFirebird {
public:
    EmptyOptFirebird() : made_(std::filesystem::create_directory("/opt/firebird")) {}
    ~EmptyOptFirebird()
    {
        if (made_)
            std::filesystem::remove("/opt/firebird");
    }
    EmptyOptFirebird(const EmptyOptFirebird&) = delete;
    EmptyOptFirebird& operator=(const EmptyOptFirebird&) = delete;
    bool Made() const { return made_; }

private:
    bool made_;
};

TEST(PosixRegistryReader, AnEmptyOptFirebirdDoesNotHideThePackagedGbak)
{
    if (std::filesystem::exists("/opt/firebird"))
        GTEST_SKIP() << "/opt/firebird is a real folder here";
    if (!std::filesystem::exists("/usr/bin/gbak"))
        GTEST_SKIP() << "no packaged gbak";
    EmptyOptFirebird empty;
    if (!empty.Made())
        GTEST_SKIP() << "/opt/firebird cannot be made here";
    FirebirdVariable variable(std::nullopt);
    EXPECT_EQ(Ask(), (Answer{true, true, "/usr/"}));
}

TEST(PosixRegistryReader, KeyDoesNotOpenWhenTheFolderCannotBeReadOrSearched)
{
    TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const struct {
        const char* name;
        mode_t mode;
        Answer expected;
    } cases[] = {
        {"readable and searchable", 0755, {true, true, dir.File("fb") + "/"}},
        {"not readable", 0311, {true, false, ""}},
        {"not searchable", 0644, {true, false, ""}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir.File("fb"));
        std::filesystem::create_directory(dir.File("fb"));
        ASSERT_EQ(chmod(dir.File("fb").c_str(), c.mode), 0);
        FirebirdVariable variable(dir.File("fb"));
        const Answer expected = c.expected;
        EXPECT_TRUE(AsUnprivilegedUser([&] { return Ask() == expected; })) << c.name;
    }
}

TEST(PosixRegistryReader, AnswersOnlyTheOneKeyAndValueAndForgetsThemOnClose)
{
    FirebirdVariable variable(std::string("/usr"));
    const auto other = CreateRegistryReader(0x80000001, KeyReadAccess);  // HKEY_CURRENT_USER
    EXPECT_FALSE(other->KeyExists(FirebirdInstancesKey));
    EXPECT_FALSE(other->OpenKey(FirebirdInstancesKey));

    const auto reader = CreateRegistryReader(HkeyLocalMachine, KeyReadAccess);
    EXPECT_FALSE(reader->KeyExists("Software\\Firebird Project"));
    EXPECT_FALSE(reader->OpenKey("Software\\Firebird Project\\Firebird Server"));
    EXPECT_EQ(reader->ReadString(DefaultInstanceValue), "") << "no key open";
    ASSERT_TRUE(reader->OpenKey(FirebirdInstancesKey));
    EXPECT_EQ(reader->ReadString("RootDirectory"), "");
    EXPECT_EQ(reader->ReadString(DefaultInstanceValue), "/usr/");
    reader->CloseKey();
    EXPECT_EQ(reader->ReadString(DefaultInstanceValue), "") << "key closed";
}

}  // namespace
