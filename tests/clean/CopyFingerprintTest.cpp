#include "clean/CopyFingerprint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

constexpr std::size_t PageSize = 4096;

// A file laid out as Firebird lays out a database: a header page that gives
// the page size, then pages whose first byte is their type.
std::string FirebirdLikeFile()
{
    const unsigned char types[] = {1, 2, 3, 5, 5, 7, 3, 5};
    std::string file;
    for (std::size_t page = 0; page < sizeof types; ++page) {
        std::string bytes(PageSize, '\0');
        for (std::size_t i = 0; i < PageSize; ++i)
            bytes[i] = static_cast<char>((page * 131 + i * 17) & 0xff);
        bytes[0] = static_cast<char>(types[page]);
        file += bytes;
    }
    file[16] = static_cast<char>(PageSize & 0xff);
    file[17] = static_cast<char>(PageSize >> 8);
    return file;
}

std::string FingerprintOf(const std::string& bytes, std::size_t piece)
{
    FingerprintBuilder builder;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        builder.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
    return builder.Finish();
}

TEST(CopyFingerprint, SeesEveryChangeButTheOnesAnAttachmentMakes)
{
    const std::string original = FirebirdLikeFile();
    const std::string reference = FingerprintOf(original, 1 << 20);
    const auto changed = [&](std::size_t offset) {
        std::string bytes = original;
        bytes[offset] = static_cast<char>(bytes[offset] ^ 0x5a);
        return bytes;
    };
    std::string swapped = original;
    std::swap_ranges(swapped.begin() + 3 * PageSize, swapped.begin() + 4 * PageSize, swapped.begin() + 4 * PageSize);
    std::string plain = original;
    plain[0] = 'x';
    std::string plainChanged = plain;
    plainChanged[PageSize * 2 + 9] ^= 1;

    const struct {
        const char* name;
        std::string bytes;
        bool same;
    } cases[] = {
        {"the header page rewritten", changed(40), true},
        {"a transaction inventory page rewritten", changed(2 * PageSize + 100), true},
        {"the second one too", changed(6 * PageSize + 1), true},
        {"a data page changed", changed(3 * PageSize + 100), false},
        {"an index page changed", changed(5 * PageSize + PageSize - 1), false},
        {"the page inventory changed", changed(PageSize + 8), false},
        {"two data pages swapped", swapped, false},
        {"one page more", original + std::string(PageSize, '\5'), false},
        {"a byte less", original.substr(0, original.size() - 1), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FingerprintOf(c.bytes, 1 << 20) == reference, c.same) << c.name;

    // Without a Firebird header every byte counts.
    EXPECT_NE(FingerprintOf(plainChanged, 1 << 20), FingerprintOf(plain, 1 << 20));
    EXPECT_NE(FingerprintOf(plain, 1 << 20), reference);
}

TEST(CopyFingerprint, IsTheSameHoweverTheFileIsHandedOver)
{
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"a database", FirebirdLikeFile()},
        {"a database cut off inside a page", FirebirdLikeFile().substr(0, 3 * PageSize + 77)},
        {"a plain file", std::string(10000, 'q') + "tail"},
        {"a file shorter than a header", "short"},
        {"an empty file", ""},
    };
    for (const auto& f : files) {
        const std::string whole = FingerprintOf(f.bytes, f.bytes.size() + 1);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{17}, PageSize, PageSize + 3})
            EXPECT_EQ(FingerprintOf(f.bytes, piece), whole) << f.name << ", pieces of " << piece;
        EXPECT_EQ(whole.substr(0, whole.find('-')), std::to_string(f.bytes.size())) << f.name;
    }
}

}  // namespace
