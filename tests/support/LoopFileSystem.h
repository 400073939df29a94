#pragma once

#include <string>

// An ext4 file system in an image file, on a loop device, mounted at a
// folder: a disk whose contents a test can copy at any moment, as a power cut
// would leave them. Needs root. Every failure throws std::runtime_error
// naming the step, the file or device, and the system's reason.
class LoopFileSystem {
public:
    // Why this process cannot have one (not root, no loop device to open),
    // or "" when it can.
    static std::string WhyUnavailable();
    // A sparse image file of `mebibytes` holding an empty ext4.
    static void MakeExt4Image(const std::string& image, int mebibytes);

    // Attaches `image` to the loop device `device` ("/dev/loopN"), or to the
    // first free one when `device` is empty, and mounts it at `mountPoint`
    // with the ext4 `options`.
    LoopFileSystem(std::string image, std::string mountPoint, std::string options, const std::string& device = {});
    // Unmounts and detaches what is still attached; errors are ignored.
    ~LoopFileSystem();
    LoopFileSystem(const LoopFileSystem&) = delete;
    LoopFileSystem& operator=(const LoopFileSystem&) = delete;

    const std::string& Device() const { return device_; }
    // Writes out all the kernel holds for this file system.
    void Sync() const;
    // A copy of the image file as the loop device has written it so far.
    void CopyImageTo(const std::string& copy) const;
    // Unmounts and detaches now.
    void Release();

private:
    void Attach(const std::string& device);

    std::string image_;
    std::string mountPoint_;
    std::string device_;
    int deviceFd_ = -1;
    bool mounted_ = false;
};
