#pragma once

#include "platform/foundation/PlistBinaryLayout.h"
#include "platform/foundation/PlistSelection.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

namespace platform::plist {

/// Reads the binary form ("bplist00") in two passes. The first (PlistBinarySurvey) checks every
/// object reachable from the top, the nesting and the memory the values will take, and refuses
/// the file before anything is built when it breaks any of them; the second builds the values
/// over an explicit stack and cannot then refuse the file. Every object is built once: a string,
/// data or container that more than one reference names is kept and shared by all of them (a
/// container by the references that read it with the same selection), and one that a single
/// reference names is never held beyond its use. Values that the selection drops are neither
/// built nor walked, having been checked by the survey.
///
/// Memory is bounded by construction: the survey charges, before anything is built, what the
/// whole read will allocate, each object once however often it is referred to, and refuses the
/// file once the charge passes kMaxReadBytesPerFileByte bytes for each byte of the file plus a
/// few KiB (budgetFor()). A reference is at least one byte of the file and becomes at most one
/// 16-byte value in an array (a dictionary entry, a key and a value, takes 32 bytes for its two
/// references), so the one-byte references to one shared object that cost the most per byte
/// still read; no arrangement of the offset table (every entry naming one small object, say)
/// can make the read allocate more than it was charged. The read's own stacks, at most
/// kMaxPropertyListDepth frames, are not charged: with the few KiB they make the fixed base of
/// the bound, 64 KiB in all, that tests/platform/foundation/PlistMemoryTest.cpp counts. A read
/// with a selection is charged what the whole read takes, so that both answer alike; it builds
/// only what it keeps, an object at most once for each branch of the selection that reaches it.
class PlistBinaryReader {
public:
    explicit PlistBinaryReader(std::string_view bytes, const PlistSelection* selection = nullptr);

    /// The root value, or none when the bytes are refused.
    std::optional<PlistValue> read();
    /// Why the last read answered none.
    PlistReadFailure failure() const { return m_failure; }

    /// The most that a read of a file of fileBytes bytes may be charged.
    static std::uint64_t budgetFor(std::uint64_t fileBytes);
    /// Why read() would refuse bytes, found without building anything; None when it would
    /// read them.
    static PlistReadFailure check(std::string_view bytes);

private:
    struct Frame;
    // A value built for an object that references share, with the selection it was read with
    // (kLeaf for a string or data, which every selection reads alike), and the place plus one
    // of the object's next slot, or 0.
    struct Slot {
        PlistValue value;
        const PlistSelection* readWith = nullptr;
        std::uint32_t next = 0;
    };
    // What a slot takes, with its share of the list of slots.
    static constexpr std::uint64_t kBytesPerSharedObject = sizeof(Slot) + sizeof(void*);

    std::optional<PlistValue> build(std::vector<Frame>& stack);
    bool start(std::uint64_t index, const PlistSelection* selection, std::optional<PlistValue>& value,
               std::vector<Frame>& stack);
    const PlistValue* kept(std::uint64_t index, const PlistSelection* selection) const;
    void keep(std::uint64_t index, const PlistSelection* selection, const PlistValue& value);
    bool key(const PlistBinaryLayout::Object& dictionary, std::uint64_t n, PlistValue& out);
    std::optional<PlistValue> refuse(PlistReadFailure failure);

    PlistBinaryLayout m_layout;
    std::uint64_t m_fileBytes = 0;
    const PlistSelection* m_selection = nullptr;
    PlistReadFailure m_failure = PlistReadFailure::None;
    // While read() runs: for each object, 0 when a single reference names it; kUnbuilt when it
    // is shared and nothing of it is built yet; otherwise the place plus one of its first slot.
    std::vector<std::uint32_t> m_slotOf;
    std::deque<Slot> m_slots;
};

}  // namespace platform::plist
