#include "platform/foundation/KeyHash.h"

#include <chrono>
#include <cstring>

#include <sys/random.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::uint64_t rotl(std::uint64_t x, int b)
{
    return (x << b) | (x >> (64 - b));
}

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    void round()
    {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }
};

std::uint64_t littleEndianAt(const unsigned char* bytes, std::size_t count)
{
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < count; ++i)
        word |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return word;
}

struct ProcessKey {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;

    ProcessKey()
    {
        std::uint64_t words[2] = {};
        if (::getrandom(words, sizeof words, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof words)) {
            // Without the kernel's randomness the key still differs from run to run.
            words[0] = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            words[1] = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^ reinterpret_cast<std::uintptr_t>(this);
        }
        k0 = words[0];
        k1 = words[1];
    }
};

}  // namespace

std::uint64_t sipHash(std::uint64_t k0, std::uint64_t k1, std::string_view bytes, int c, int d)
{
    SipState s{k0 ^ 0x736f6d6570736575ull, k1 ^ 0x646f72616e646f6dull, k0 ^ 0x6c7967656e657261ull,
               k1 ^ 0x7465646279746573ull};
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t whole = bytes.size() / 8 * 8;
    for (std::size_t at = 0; at < whole; at += 8) {
        const std::uint64_t m = littleEndianAt(data + at, 8);
        s.v3 ^= m;
        for (int i = 0; i < c; ++i)
            s.round();
        s.v0 ^= m;
    }
    const std::uint64_t last = (static_cast<std::uint64_t>(bytes.size()) << 56) | littleEndianAt(data + whole, bytes.size() - whole);
    s.v3 ^= last;
    for (int i = 0; i < c; ++i)
        s.round();
    s.v0 ^= last;
    s.v2 ^= 0xff;
    for (int i = 0; i < d; ++i)
        s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

std::size_t keyHash(std::string_view key)
{
    static const ProcessKey processKey;
    return static_cast<std::size_t>(sipHash(processKey.k0, processKey.k1, key, 1, 3));
}

}  // namespace platform
