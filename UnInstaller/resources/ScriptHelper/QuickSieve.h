#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace scripthelper {

/// A quick "surely not" in front of a look-up among a few strings: one bit for each value of a
/// plain multiply-and-xor hash of the string, eight bytes at a step. A clear bit spares the keyed
/// hash of the look-up; a set one, which a string may share with others, sends it on to the
/// look-up, so that strings made to share bits cost no more than the look-up would.
class QuickSieve {
public:
    void add(std::string_view text)
    {
        const std::size_t bit = bitOf(text);
        m_bits[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }

    bool mayHold(std::string_view text) const
    {
        const std::size_t bit = bitOf(text);
        return (m_bits[bit / 64] >> (bit % 64) & 1) != 0;
    }

private:
    static constexpr unsigned kBits = 12;

    static std::size_t bitOf(std::string_view text)
    {
        constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
        std::uint64_t hash = static_cast<std::uint64_t>(text.size()) * 0xFF51AFD7ED558CCDull;
        std::size_t at = 0;
        for (; at + 8 <= text.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, 8);
            hash = (hash ^ word) * kMultiplier;
            hash ^= hash >> 29;
        }
        std::uint64_t rest = 0;
        if (at < text.size())
            std::memcpy(&rest, text.data() + at, text.size() - at);
        hash = (hash ^ rest) * kMultiplier;
        hash ^= hash >> 32;
        return static_cast<std::size_t>(hash >> (64 - kBits));
    }

    std::array<std::uint64_t, (std::size_t{1} << kBits) / 64> m_bits{};
};

}  // namespace scripthelper
