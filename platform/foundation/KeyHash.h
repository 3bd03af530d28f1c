#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

/// SipHash-c-d of bytes under the 128-bit key (k0, k1): c rounds per 8-byte word, d to finish.
std::uint64_t sipHash(std::uint64_t k0, std::uint64_t k1, std::string_view bytes, int c, int d);

/// The hash that hash tables of keys read from files use: SipHash-1-3 under a key drawn at
/// random once per process, so that nobody who writes a file can choose keys that collide.
std::size_t keyHash(std::string_view key);

/// keyHash as a hasher for the standard unordered containers of strings.
struct KeyHasher {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return keyHash(key); }
    std::size_t operator()(const std::string& key) const { return keyHash(key); }
};

}  // namespace platform
