#include "tests/support/LoopFileSystem.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what, int error)
{
    throw std::runtime_error(what + ": " + std::strerror(error));
}

// Tries `step` until it stops failing with EBUSY, for at most 30 seconds:
// a process killed a moment ago may still hold files, and a device let go a
// moment ago may still be winding down.
bool WhileBusy(const std::function<bool()>& step)
{
    for (int tries = 0;; ++tries) {
        if (step())
            return true;
        if (errno != EBUSY || tries == 600)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::vector<std::string> LoopDeviceNodes()
{
    std::vector<std::pair<int, std::string>> found;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ignored)) {
        const std::string name = entry.path().filename().string();
        std::smatch match;
        if (std::regex_match(name, match, std::regex("loop([0-9]+)")))
            found.emplace_back(std::stoi(match[1]), entry.path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> nodes;
    for (auto& node : found)
        nodes.push_back(std::move(node.second));
    return nodes;
}

std::string RunCommand(const std::string& command)
{
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        Fail("cannot start " + command, errno);
    std::string output;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    if (pclose(pipe) != 0)
        throw std::runtime_error(command + " failed:\n" + output);
    return output;
}

std::string Mkfs()
{
    for (const char* candidate : {"/usr/sbin/mkfs.ext4", "/sbin/mkfs.ext4"}) {
        if (access(candidate, X_OK) == 0)
            return candidate;
    }
    throw std::runtime_error("mkfs.ext4 not found (Debian package e2fsprogs)");
}

}  // namespace

std::string LoopFileSystem::WhyUnavailable()
{
    if (geteuid() != 0)
        return "not root: loop devices and mounts need root";
    const std::vector<std::string> nodes = LoopDeviceNodes();
    if (nodes.empty())
        return "no /dev/loop* device in this system";
    for (const std::string& node : nodes) {
        const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
            return {};
        }
    }
    return "no loop device can be opened for writing: " + std::string(std::strerror(errno));
}

void LoopFileSystem::MakeExt4Image(const std::string& image, int mebibytes)
{
    const int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        Fail("create the image " + image, errno);
    const bool sized = ftruncate(fd, static_cast<off_t>(mebibytes) << 20) == 0;
    const int error = errno;
    close(fd);
    if (!sized)
        Fail("size the image " + image, error);
    // 4 KiB blocks and 256-byte inodes whatever the size: a small file
    // system would otherwise get 128-byte inodes, which keep no nanoseconds,
    // and a file's time would change across the power cut. The inode tables
    // are written here rather than by the kernel in the background while a
    // test runs.
    RunCommand(Mkfs() + " -q -F -b 4096 -I 256 -E lazy_itable_init=0,nodiscard '" + image + "'");
}

LoopFileSystem::LoopFileSystem(std::string image, std::string mountPoint, std::string options,
                               const std::string& device)
    : image_(std::move(image)), mountPoint_(std::move(mountPoint))
{
    Attach(device);
    if (mount(device_.c_str(), mountPoint_.c_str(), "ext4", 0, options.c_str()) != 0) {
        const int error = errno;
        try {
            Release();
        } catch (const std::exception&) {
            // The mount's failure is the one to report.
        }
        Fail("mount " + device_ + " (" + image_ + ") at " + mountPoint_ + " with " + options, error);
    }
    mounted_ = true;
}

void LoopFileSystem::Attach(const std::string& device)
{
    const int imageFd = open(image_.c_str(), O_RDWR | O_CLOEXEC);
    if (imageFd < 0)
        Fail("open the image " + image_, errno);
    loop_config config{};
    config.fd = static_cast<__u32>(imageFd);
    std::strncpy(reinterpret_cast<char*>(config.info.lo_file_name), image_.c_str(), LO_NAME_SIZE - 1);
    const std::vector<std::string> candidates = device.empty() ? LoopDeviceNodes() : std::vector<std::string>{device};
    int lastError = ENODEV;
    for (const std::string& candidate : candidates) {
        const int fd = open(candidate.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const auto configure = [&] { return ioctl(fd, LOOP_CONFIGURE, &config) == 0; };
        // A device asked for by name was let go of a moment ago and may still
        // be winding down; among the others, a busy one is someone else's.
        if (device.empty() ? configure() : WhileBusy(configure)) {
            close(imageFd);
            device_ = candidate;
            deviceFd_ = fd;
            return;
        }
        lastError = errno;
        close(fd);
    }
    close(imageFd);
    Fail("attach " + image_ + " to " + (device.empty() ? std::string("a free loop device") : device), lastError);
}

LoopFileSystem::~LoopFileSystem()
{
    try {
        Release();
    } catch (const std::exception&) {
        // Left for the system's own cleanup; a destructor must not throw.
    }
}

void LoopFileSystem::Sync() const
{
    const int fd = open(mountPoint_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        Fail("open " + mountPoint_, errno);
    const bool synced = syncfs(fd) == 0;
    const int error = errno;
    close(fd);
    if (!synced)
        Fail("syncfs " + mountPoint_, error);
}

void LoopFileSystem::CopyImageTo(const std::string& copy) const
{
    const int from = open(image_.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        Fail("open the image " + image_, errno);
    const int to = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (to < 0) {
        const int error = errno;
        close(from);
        Fail("create the copy " + copy, error);
    }
    const auto fail = [&](const std::string& what) {
        const int error = errno;
        close(from);
        close(to);
        Fail(what + " copying " + image_ + " to " + copy, error);
    };
    const off_t size = lseek(from, 0, SEEK_END);
    if (size < 0 || ftruncate(to, size) != 0)
        fail("size");
    // Only the parts written: the image is sparse, and copying its holes
    // would be most of the time spent.
    std::vector<char> buffer(1 << 20);
    for (off_t at = 0; at < size;) {
        at = lseek(from, at, SEEK_DATA);
        if (at < 0 && errno == ENXIO)
            break;  // only a hole is left
        if (at < 0)
            fail("find data");
        const off_t end = lseek(from, at, SEEK_HOLE);
        if (end < 0)
            fail("find a hole");
        while (at < end) {
            const ssize_t n = pread(from, buffer.data(), std::min<off_t>(end - at, static_cast<off_t>(buffer.size())), at);
            if (n <= 0)
                fail("read");
            for (ssize_t done = 0; done < n;) {
                const ssize_t written = pwrite(to, buffer.data() + done, static_cast<size_t>(n - done), at + done);
                if (written < 0)
                    fail("write");
                done += written;
            }
            at += n;
        }
    }
    close(from);
    if (close(to) != 0)
        Fail("close the copy " + copy, errno);
}

void LoopFileSystem::Release()
{
    if (mounted_) {
        if (!WhileBusy([&] { return umount2(mountPoint_.c_str(), 0) == 0; }))
            Fail("unmount " + mountPoint_ + " (" + device_ + ")", errno);
        mounted_ = false;
    }
    if (deviceFd_ < 0)
        return;
    const bool cleared = ioctl(deviceFd_, LOOP_CLR_FD) == 0;
    const int error = errno;
    close(deviceFd_);
    deviceFd_ = -1;
    if (!cleared)
        Fail("detach " + image_ + " from " + device_, error);
    // The kernel may finish the detach only once the last opener has gone;
    // whoever attaches this device next must find it free.
    const int fd = open(device_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    loop_info64 info{};
    for (int tries = 0; tries < 600 && ioctl(fd, LOOP_GET_STATUS64, &info) == 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    close(fd);
}
