#pragma once

#include "platform/foundation/PlistSelection.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::plist {

/// Reads the binary form ("bplist00") in one pass over an explicit stack, checking the trailer,
/// the offset table and every object as it decodes them. An object is decoded at most twice: a
/// string, data or container referred to from many places is kept at its second reference and is
/// from then on one value that every later reference shares (a container is shared by the
/// references that read it with the same selection), while an object referred to once is never
/// held beyond its use. Nesting, and
/// with it any reference cycle, is bounded by kMaxPropertyListDepth.
///
/// Memory is bounded by what the file holds. A reference is at least one byte of the file and
/// becomes at most one 16-byte value in an array (a dictionary entry, a key and a value, takes
/// 32 bytes for its two references); each object is at least two bytes (a marker and its offset)
/// and takes four bytes while the read runs, and a 24-byte slot once a second reference has
/// decoded it (a string, data or container), and its string or data bytes at most one and a half times
/// what it holds. The one-byte references to one shared object that cost the most
/// thus take 16 bytes per byte of file, plus a fixed base (tests/platform/foundation/
/// PlistMemoryTest.cpp counts it); no input takes more than a small constant per byte.
class PlistBinaryReader {
public:
    /// Values that selection drops are decoded and checked but not kept.
    explicit PlistBinaryReader(std::string_view bytes, const PlistSelection* selection = nullptr);

    /// The root value, or none when the bytes are refused.
    std::optional<PlistValue> read();
    /// Why the last read answered none.
    PlistReadFailure failure() const { return m_failure; }

private:
    struct Frame;
    // What is known of one object once it has been decoded: the value, shared by every later
    // reference, and what it was read with.
    struct Slot {
        PlistValue value;
        // Null while the object has not been decoded; a mark for a string or data, which every
        // selection reads alike, or for a container decoded only to be checked; otherwise the
        // selection the container's value was built with.
        const PlistSelection* readWith = nullptr;
    };

    bool readUInt(std::uint64_t at, unsigned width, std::uint64_t& out) const;
    bool objectOffset(std::uint64_t index, std::uint64_t& out) const;
    bool reference(std::uint64_t at, std::uint64_t& out) const;
    bool lengthOf(std::uint64_t at, unsigned info, std::uint64_t& length, std::uint64_t& contentAt) const;
    bool weigh(std::uint64_t payload);
    bool decode(std::uint64_t index, const PlistSelection* selection, std::optional<PlistValue>& scalar, Frame& frame,
                bool& isContainer);
    bool decodeScalar(std::uint64_t offset, unsigned type, unsigned info, std::optional<PlistValue>& scalar);
    bool decodeKey(std::uint64_t index, PlistValue& key);
    Slot* findSlot(std::uint64_t index);
    Slot& makeSlot(std::uint64_t index);
    /// False the first time an object is decoded, which marks it; true from then on. An object
    /// is kept for later references only once a second reference shows that it has some, so
    /// that objects referred to once (most of any file) are never held beyond their use.
    bool secondDecoding(std::uint64_t index);
    bool decodeString(std::uint64_t offset, std::string& out);
    std::optional<PlistValue> refuse(PlistReadFailure failure);

    std::string_view m_bytes;
    const PlistSelection* m_selection = nullptr;
    PlistReadFailure m_failure = PlistReadFailure::None;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    std::uint64_t m_objectCount = 0;
    std::uint64_t m_topObject = 0;
    std::uint64_t m_tableAt = 0;
    std::uint64_t m_valueLimit = 0;
    std::uint64_t m_payloadLimit = 0;
    std::uint64_t m_values = 0;
    std::uint64_t m_payload = 0;
    std::uint64_t m_reserved = 0;
    // While read() runs: for each object, 0 or one more than the place of its slot.
    std::vector<std::uint32_t> m_slotOf;
    std::deque<Slot> m_slots;
};

}  // namespace platform::plist
