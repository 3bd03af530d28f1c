#include "platform/foundation/KeyHash.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace platform;

TEST(KeyHash, SipHashGivesTheReferenceValues)
{
    // SipHash-2-4 under the key 00 01 ... 0f, of the messages 00 01 ... (n - 1), from the
    // algorithm's reference vectors; SipHash-1-3 shares every step but the round counts.
    const std::uint64_t k0 = 0x0706050403020100ull;
    const std::uint64_t k1 = 0x0f0e0d0c0b0a0908ull;
    const struct {
        std::size_t length;
        std::uint64_t hash;
    } vectors[] = {{0, 0x726fdb47dd0e0e31ull}, {1, 0x74f839c593dc67fdull}, {15, 0xa129ca6149be45e5ull}};
    for (const auto& vector : vectors) {
        std::string message;
        for (std::size_t i = 0; i < vector.length; ++i)
            message.push_back(static_cast<char>(i));
        EXPECT_EQ(sipHash(k0, k1, message, 2, 4), vector.hash) << vector.length;
    }
}

TEST(KeyHash, EveryByteAndTheLengthCount)
{
    // Keys of 0 to 40 bytes, each also with one bit flipped in each byte: no two hash alike,
    // so no byte of a word or of the tail is left out.
    std::set<std::size_t> seen;
    std::size_t keys = 0;
    for (std::size_t length = 0; length <= 40; ++length) {
        const std::string key(length, 'k');
        EXPECT_EQ(keyHash(key), keyHash(std::string(key)));
        seen.insert(keyHash(key));
        ++keys;
        for (std::size_t at = 0; at < length; ++at) {
            std::string flipped = key;
            flipped[at] = static_cast<char>(flipped[at] ^ 0x01);
            seen.insert(keyHash(flipped));
            ++keys;
        }
    }
    EXPECT_EQ(seen.size(), keys);
    EXPECT_NE(sipHash(1, 2, "key", 1, 3), sipHash(1, 3, "key", 1, 3));
}
