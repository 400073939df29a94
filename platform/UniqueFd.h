#pragma once

#include <unistd.h>

#include <utility>

namespace platform {

// Owns one POSIX file descriptor and closes it when it goes away. Used only by
// the *Posix.cpp files.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    void Reset()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }
    // Closes now and reports the result, for writes whose last error only
    // close tells.
    bool Close()
    {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_ = -1;
};

}  // namespace platform
