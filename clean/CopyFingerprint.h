#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

// What a safety copy holds, short enough for the run journal: its size and a
// digest of its content. It stays the same when the file is copied elsewhere,
// renamed or merely touched, and when a Firebird tool attaches to it: an
// attachment rewrites the header page and the transaction inventory pages,
// which the digest leaves out for a file that begins with a Firebird header.
// Any other change of a byte gives another fingerprint.
class FingerprintBuilder {
public:
    void Add(const char* data, std::size_t size);
    std::string Finish();

private:
    void DecidePages();
    void AddPage(const char* page, std::size_t size);
    void Hash(const char* data, std::size_t size);

    std::uint64_t total_ = 0;
    // 0 while undecided; std::string::npos: not paged, everything counts.
    std::size_t pageSize_ = 0;
    std::uint64_t pageNumber_ = 0;
    std::string pending_;
    std::uint64_t lanes_[4] = {};
    std::uint64_t hashed_ = 0;
    unsigned char stripe_[32] = {};
    std::size_t stripeFill_ = 0;
};

// Empty when the file cannot be read.
std::string Fingerprint(platform::FileSystem& files, const std::string& path);
