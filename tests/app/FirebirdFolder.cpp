#include "tests/app/FirebirdFolder.h"

#include <sys/stat.h>

#include <filesystem>

#include "tests/support/FileBytes.h"

std::string FirebirdFolder(const std::string& folderName, const std::string& gbakScript)
{
    namespace fs = std::filesystem;
    const fs::path root = FIREBIRD_ROOT;
    const fs::path folder = folderName;
    fs::create_directories(folder / "bin");
    fs::create_directories(folder / "intl");
    // Without lib the tool finds no client of the folder's own and loads the
    // one its caller names, which may be a test's stand-in.
    for (const auto& entry : fs::directory_iterator(root))
        if (entry.path().filename() != "bin" && entry.path().filename() != "intl" && entry.path().filename() != "lib")
            fs::create_symlink(entry.path(), folder / entry.path().filename());
    // The library does not take a character set module reached through a
    // link (the window's connection asks for CYRL), so that one is copied.
    for (const auto& entry : fs::directory_iterator(root / "intl")) {
        if (entry.path().extension() == ".so")
            fs::copy_file(entry.path(), folder / "intl" / entry.path().filename());
        else
            fs::create_symlink(entry.path(), folder / "intl" / entry.path().filename());
    }
    const std::string gbak = folder / "bin" / "gbak";
    if (gbakScript.empty()) {
        fs::create_symlink("/usr/bin/gbak", gbak);
    } else {
        WriteFileBytes(gbak, "#!/bin/sh\n" + gbakScript + "\n");
        chmod(gbak.c_str(), 0755);
    }
    return folder;
}
