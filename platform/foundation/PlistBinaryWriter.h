#pragma once

#include "platform/foundation/PlistValue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace platform::plist {

/// Writes the binary form ("bplist00") in one pass: objects are numbered in pre-order and
/// written children first; dictionary keys go in UTF-16 code-unit order; integers above
/// INT64_MAX take sixteen bytes, as the platform writes them. A string, data, array or
/// dictionary that copies share (one key read for many dictionaries, one object referred to from
/// many places) is written once and referred to wherever it occurs, so that a file read with
/// its objects shared is written back no larger than it was.
class PlistBinaryWriter {
public:
    /// The encoded bytes of root.
    std::string write(const PlistValue& root);

private:
    static const void* blockOf(const PlistValue& value);
    static std::uint64_t countObjects(const PlistValue& value, std::unordered_set<const void*>& seen);
    void appendUInt(std::uint64_t value, unsigned width);
    void appendMarker(unsigned type, std::uint64_t length);
    void appendInteger(std::uint64_t value);
    void appendDouble(unsigned type, double value);
    void appendString(std::string_view text);
    std::uint64_t encode(const PlistValue& value);

    std::string m_out;
    std::vector<std::uint64_t> m_offsets;
    std::uint64_t m_next = 0;
    unsigned m_refSize = 1;
    std::unordered_map<const void*, std::uint64_t> m_written;  // shared blocks and their objects
};

}  // namespace platform::plist
