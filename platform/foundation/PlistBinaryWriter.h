#pragma once

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <optional>
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
/// its objects shared is written back no larger than it was. References are as narrow as the
/// object count allows, and wider where the reader would otherwise refuse the file for taking
/// more memory than its size allows (PlistBinaryReader charges what it builds against it). Refuses, for the reasons
/// binaryPropertyList() gives, nesting deeper than kMaxPropertyListDepth, found before anything
/// is written, and a result larger than kMaxPropertyListBytes, found before writing when the
/// text and data alone pass it.
class PlistBinaryWriter {
public:
    /// The encoded bytes of root, or none when root cannot be written in this form.
    std::optional<std::string> write(const PlistValue& root);
    /// Why the last write answered none; None when it answered bytes.
    PlistWriteFailure failure() const { return m_failure; }

private:
    // What the objects to write hold, each shared block counted once.
    struct Tally {
        std::uint64_t contentBytes = 0;  // the least their text and data take
        bool endlessDates = false;       // whether a date is not finite
    };

    static const void* blockOf(const PlistValue& value);
    // Counts the objects to write, each shared block once.
    static std::uint64_t countObjects(const PlistValue& value, std::unordered_set<const void*>& seen, Tally& tally);
    // Writes the whole file with references m_refSize bytes wide.
    void emit(const PlistValue& root, std::uint64_t count);
    void appendUInt(std::uint64_t value, unsigned width);
    void appendMarker(unsigned type, std::uint64_t length);
    void appendInteger(std::uint64_t value);
    void appendDouble(unsigned type, double value);
    void appendString(std::string_view text);
    std::uint64_t encode(const PlistValue& value);

    std::string m_out;
    PlistWriteFailure m_failure = PlistWriteFailure::None;
    std::vector<std::uint64_t> m_offsets;
    std::uint64_t m_next = 0;
    unsigned m_refSize = 1;
    std::unordered_map<const void*, std::uint64_t> m_written;  // shared blocks and their objects
};

}  // namespace platform::plist
