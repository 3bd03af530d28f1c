#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace foundation_test {

/// The shared object of a generated file.
enum class SharedObject { EightByteData, True, ShortString };

/// A binary property list of about size bytes whose array holds one-byte references, all to one
/// shared object: the shape that costs the most memory per byte of file. The array is the root,
/// or with rootKey the one value of a root dictionary under that key.
inline std::string sharedReferenceFile(std::size_t size, SharedObject object, const std::string& rootKey = {})
{
    const std::size_t references = size;
    std::string out = "bplist00";
    const auto append = [&out](std::uint64_t value, unsigned width) {
        for (unsigned i = width; i-- > 0;)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::vector<std::size_t> offsets;
    const bool wrapped = !rootKey.empty() && rootKey.size() < 15;
    const char shared = wrapped ? '\x03' : '\x01';
    if (wrapped) {
        offsets.push_back(out.size());
        out += "\xD1\x01\x02";
        offsets.push_back(out.size());
        out += static_cast<char>(0x50 | rootKey.size());
        out += rootKey;
    }
    offsets.push_back(out.size());
    out += '\xAF';
    out += '\x13';
    append(references, 8);
    out.append(references, shared);
    offsets.push_back(out.size());
    switch (object) {
    case SharedObject::EightByteData: out += '\x48'; out.append("12345678"); break;
    case SharedObject::True: out += '\x09'; break;
    case SharedObject::ShortString: out += '\x55'; out.append("Alpha"); break;
    }
    const std::size_t tableAt = out.size();
    for (const std::size_t offset : offsets)
        append(offset, 8);
    out.append(6, '\0');
    out += '\x08';
    out += '\x01';
    append(offsets.size(), 8);
    append(0, 8);
    append(tableAt, 8);
    return out;
}

}  // namespace foundation_test
