// The Windows body of the tests' TempDir: a fresh folder under %TEMP%.
#include "tests/support/TempDir.h"

#include <windows.h>

#include <filesystem>
#include <random>
#include <stdexcept>

TempDir::TempDir()
{
    char base[MAX_PATH + 1] = {};
    if (GetTempPathA(sizeof base, base) == 0)
        throw std::runtime_error("no temporary folder");
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = std::string(base) + "quenor-test-" + std::to_string(random());
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
