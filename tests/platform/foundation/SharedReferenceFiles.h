#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace foundation_test {

/// The shared object of a generated file.
enum class SharedObject { EightByteData, True, ShortString };

/// A binary property list of about size bytes whose root array holds one-byte references, all
/// to one shared object: the shape that costs the most memory per byte of file.
inline std::string sharedReferenceFile(std::size_t size, SharedObject object)
{
    const std::size_t references = size;
    std::string out = "bplist00";
    const auto append = [&out](std::uint64_t value, unsigned width) {
        for (unsigned i = width; i-- > 0;)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const std::size_t arrayAt = out.size();
    out += '\xAF';
    out += '\x13';
    append(references, 8);
    out.append(references, '\x01');
    const std::size_t objectAt = out.size();
    switch (object) {
    case SharedObject::EightByteData: out += '\x48'; out.append("12345678"); break;
    case SharedObject::True: out += '\x09'; break;
    case SharedObject::ShortString: out += '\x55'; out.append("Alpha"); break;
    }
    const std::size_t tableAt = out.size();
    append(arrayAt, 8);
    append(objectAt, 8);
    out.append(6, '\0');
    out += '\x08';
    out += '\x01';
    append(2, 8);
    append(0, 8);
    append(tableAt, 8);
    return out;
}

}  // namespace foundation_test
