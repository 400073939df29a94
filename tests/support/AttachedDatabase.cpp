#include "tests/support/AttachedDatabase.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

bool EngineLockPresent(ino_t inode)
{
    std::ifstream locks("/proc/locks");
    const std::string suffix = ":" + std::to_string(inode);
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, advisory, access, pid, device;
        fields >> number >> kind >> advisory >> access >> pid >> device;
        if (kind == "FLOCK" && device.size() > suffix.size() &&
            device.compare(device.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    }
    return false;
}

}  // namespace

AttachedDatabase::AttachedDatabase(const std::string& path)
{
    const std::string command = "exec isql-fb -q '" + path + "' -user SYSDBA -pass plumtiger >/dev/null 2>&1";
    pipe_ = popen(command.c_str(), "w");
    if (pipe_ == nullptr)
        throw std::runtime_error("cannot start isql-fb");
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw std::runtime_error("no database at " + path);
    // Watching /proc/locks rather than probing with a lock of our own, which
    // could make the engine's attach fail.
    // isql-fb may take a while to attach on a busy machine.
    for (int tries = 0; tries < 1200; ++tries) {
        if (EngineLockPresent(info.st_ino))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    pclose(pipe_);
    throw std::runtime_error("isql-fb did not attach " + path);
}

AttachedDatabase::~AttachedDatabase()
{
    pclose(pipe_);
}

HeldFile::HeldFile(const std::string& path, int operation) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC))
{
    if (fd_ < 0 || flock(fd_, operation | LOCK_NB) != 0)
        throw std::runtime_error("cannot lock " + path);
}

HeldFile::~HeldFile()
{
    close(fd_);
}
