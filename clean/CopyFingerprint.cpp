#include "clean/CopyFingerprint.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint64_t Prime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t Prime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t Prime3 = 0x165667B19E3779F9ULL;

// Firebird's page header: the page type is its first byte; the header page
// (page 0) gives the page size at byte 16, little-endian.
constexpr unsigned char HeaderPageType = 1;
constexpr unsigned char TransactionPageType = 3;
constexpr std::size_t PageSizeOffset = 16;

std::uint64_t RotateLeft(std::uint64_t value, int bits)
{
    return (value << bits) | (value >> (64 - bits));
}

std::uint64_t Round(std::uint64_t lane, std::uint64_t word)
{
    return RotateLeft(lane + word * Prime2, 31) * Prime1;
}

std::uint64_t Word(const unsigned char* bytes)
{
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i)
        word = (word << 8) | bytes[i];
    return word;
}

bool IsFirebirdPageSize(std::size_t size)
{
    return size >= 1024 && size <= 65536 && (size & (size - 1)) == 0;
}

}  // namespace

void FingerprintBuilder::Add(const char* data, std::size_t size)
{
    total_ += size;
    if (pageSize_ == std::string::npos) {
        Hash(data, size);
        return;
    }
    pending_.append(data, size);
    if (pageSize_ == 0) {
        if (pending_.size() <= PageSizeOffset + 1)
            return;
        DecidePages();
        if (pageSize_ == std::string::npos) {
            Hash(pending_.data(), pending_.size());
            pending_.clear();
            return;
        }
    }
    std::size_t used = 0;
    for (; pending_.size() - used >= pageSize_; used += pageSize_)
        AddPage(pending_.data() + used, pageSize_);
    pending_.erase(0, used);
}

void FingerprintBuilder::DecidePages()
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(pending_.data());
    const std::size_t size = bytes[PageSizeOffset] | (static_cast<std::size_t>(bytes[PageSizeOffset + 1]) << 8);
    pageSize_ = bytes[0] == HeaderPageType && IsFirebirdPageSize(size) ? size : std::string::npos;
}

void FingerprintBuilder::AddPage(const char* page, std::size_t size)
{
    const auto type = static_cast<unsigned char>(page[0]);
    const std::uint64_t number = pageNumber_++;
    if (type == HeaderPageType || type == TransactionPageType)
        return;
    // The page's number goes in too, so that a page left out cannot make two
    // different files look alike by shifting the rest.
    unsigned char numberBytes[8];
    for (int i = 0; i < 8; ++i)
        numberBytes[i] = static_cast<unsigned char>(number >> (8 * i));
    Hash(reinterpret_cast<const char*>(numberBytes), sizeof numberBytes);
    Hash(page, size);
}

void FingerprintBuilder::Hash(const char* data, std::size_t size)
{
    if (hashed_ == 0 && stripeFill_ == 0) {
        lanes_[0] = Prime1 + Prime2;
        lanes_[1] = Prime2;
        lanes_[2] = 0;
        lanes_[3] = 0 - Prime1;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    while (size > 0) {
        if (stripeFill_ == 0 && size >= sizeof stripe_) {
            for (int lane = 0; lane < 4; ++lane)
                lanes_[lane] = Round(lanes_[lane], Word(bytes + 8 * lane));
            bytes += sizeof stripe_;
            size -= sizeof stripe_;
            hashed_ += sizeof stripe_;
            continue;
        }
        const std::size_t take = std::min(size, sizeof stripe_ - stripeFill_);
        std::memcpy(stripe_ + stripeFill_, bytes, take);
        stripeFill_ += take;
        bytes += take;
        size -= take;
        if (stripeFill_ == sizeof stripe_) {
            for (int lane = 0; lane < 4; ++lane)
                lanes_[lane] = Round(lanes_[lane], Word(stripe_ + 8 * lane));
            stripeFill_ = 0;
            hashed_ += sizeof stripe_;
        }
    }
}

std::string FingerprintBuilder::Finish()
{
    if (pageSize_ == 0) {
        pageSize_ = std::string::npos;
        Hash(pending_.data(), pending_.size());
    } else if (pageSize_ != std::string::npos && !pending_.empty()) {
        AddPage(pending_.data(), pending_.size());
    }
    pending_.clear();
    if (hashed_ == 0 && stripeFill_ == 0)
        Hash("", 0);
    std::uint64_t digest = RotateLeft(lanes_[0], 1) + RotateLeft(lanes_[1], 7) + RotateLeft(lanes_[2], 12) +
                           RotateLeft(lanes_[3], 18);
    for (std::size_t i = 0; i < stripeFill_; ++i)
        digest = RotateLeft(digest ^ (stripe_[i] * Prime3), 11) * Prime1;
    digest ^= hashed_ + stripeFill_;
    digest ^= digest >> 33;
    digest *= Prime2;
    digest ^= digest >> 29;
    digest *= Prime3;
    digest ^= digest >> 32;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(digest));
    return std::to_string(total_) + "-" + hex;
}

std::string Fingerprint(platform::FileSystem& files, const std::string& path)
{
    FingerprintBuilder builder;
    const platform::FileResult read =
        files.Read(path, [&](const char* data, std::size_t size) { builder.Add(data, size); });
    return read ? builder.Finish() : std::string();
}
