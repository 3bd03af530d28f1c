#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace foundation_test {

/// Appends value as width bytes, most significant first.
inline void appendBigEndian(std::string& out, std::uint64_t value, unsigned width)
{
    for (unsigned i = width; i-- > 0;)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

/// A binary property list of the objects' bytes in order: the header, the objects, an offset
/// table of offsetBytes per entry and the trailer, which says references take referenceBytes and
/// names top as the root object.
inline std::string binaryPlistFile(const std::vector<std::string>& objects, unsigned referenceBytes,
                                   unsigned offsetBytes, std::uint64_t top)
{
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const std::string& object : objects) {
        offsets.push_back(out.size());
        out += object;
    }
    const std::uint64_t tableAt = out.size();
    for (const std::uint64_t offset : offsets)
        appendBigEndian(out, offset, offsetBytes);
    out.append(6, '\0');
    out += static_cast<char>(offsetBytes);
    out += static_cast<char>(referenceBytes);
    appendBigEndian(out, objects.size(), 8);
    appendBigEndian(out, top, 8);
    appendBigEndian(out, tableAt, 8);
    return out;
}

/// Builds a binary property list object by object, as no writer of ours lays one out: any object
/// may refer to any other, before or after it, as often as it likes. References take two bytes
/// and offsets four.
class BinaryPlistBuilder {
public:
    /// An object to be given its bytes later with one of the setters, so that objects may refer
    /// to each other in any order.
    std::uint32_t reserve()
    {
        m_objects.emplace_back();
        return static_cast<std::uint32_t>(m_objects.size() - 1);
    }

    std::uint32_t string(std::string_view text) { return add(marker(0x5, text.size()) + std::string(text)); }
    std::uint32_t boolean(bool value) { return add(std::string(1, value ? '\x09' : '\x08')); }
    std::uint32_t array(const std::vector<std::uint32_t>& elements) { return setArray(reserve(), elements); }
    std::uint32_t dictionary(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries)
    {
        return setDictionary(reserve(), entries);
    }

    std::uint32_t setArray(std::uint32_t object, const std::vector<std::uint32_t>& elements)
    {
        std::string bytes = marker(0xA, elements.size());
        for (const std::uint32_t element : elements)
            appendBigEndian(bytes, element, 2);
        m_objects[object] = bytes;
        return object;
    }

    std::uint32_t setDictionary(std::uint32_t object, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries)
    {
        std::string bytes = marker(0xD, entries.size());
        for (const auto& entry : entries)
            appendBigEndian(bytes, entry.first, 2);
        for (const auto& entry : entries)
            appendBigEndian(bytes, entry.second, 2);
        m_objects[object] = bytes;
        return object;
    }

    /// The file, with top as its root object.
    std::string bytes(std::uint32_t top) const { return binaryPlistFile(m_objects, 2, 4, top); }

private:
    static std::string marker(unsigned type, std::size_t length)
    {
        std::string out;
        if (length < 15) {
            out += static_cast<char>(type << 4 | length);
        } else {
            out += static_cast<char>(type << 4 | 0xF);
            out += '\x13';
            appendBigEndian(out, length, 8);
        }
        return out;
    }

    std::uint32_t add(std::string bytes)
    {
        m_objects.push_back(std::move(bytes));
        return static_cast<std::uint32_t>(m_objects.size() - 1);
    }

    std::vector<std::string> m_objects;
};

}  // namespace foundation_test
