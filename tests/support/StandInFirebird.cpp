#include "tests/support/StandInFirebird.h"

#include <filesystem>

#include "tests/support/FileBytes.h"

std::string StandInFirebird(const std::string& root, const std::string& script)
{
    namespace fs = std::filesystem;
    fs::create_directories(root + "/bin");
    WriteFileBytes(root + "/bin/gbak", "#!/bin/sh\n" + script + "\n");
    fs::permissions(root + "/bin/gbak", fs::perms::owner_all);
    return root;
}
