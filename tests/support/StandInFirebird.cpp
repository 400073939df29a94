#include "tests/support/StandInFirebird.h"

#include <filesystem>

#include "tests/support/FileBytes.h"

std::string GbakSleepingAt(const char* option)
{
    return std::string("if [ \"$1\" = ") + option + " ]; then exec sleep 60; fi\nexec /usr/bin/gbak \"$@\"";
}

std::string StandInFirebird(const std::string& root, const std::string& script)
{
    namespace fs = std::filesystem;
    fs::create_directories(root + "/bin");
    WriteFileBytes(root + "/bin/gbak", "#!/bin/sh\n" + script + "\n");
    fs::permissions(root + "/bin/gbak", fs::perms::owner_all);
    return root;
}
