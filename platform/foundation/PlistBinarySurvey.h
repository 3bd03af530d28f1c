#pragma once

#include "platform/foundation/PlistBinaryLayout.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <vector>

namespace platform::plist {

/// The first of a binary read's two passes: walks every object reachable from the top once,
/// checks it, notes which objects more than one reference names, measures how deeply the values
/// nest, and adds up the memory that building the whole tree takes, before any value is built.
///
/// What a read takes is charged from the file alone, each object once however many references
/// name it: an object's heap block and what it holds (text, data bytes, a container's elements
/// or entries with the index a large dictionary keeps), a note of four bytes per object of the
/// offset table, and a slot for each object that references share; besides, the most that
/// making one dictionary's index takes for a while. The charge is refused past the budget as
/// soon as it gets there, so that no arrangement of the offset table or the references makes
/// the read allocate past it; a refused read has allocated the notes alone.
/// A read with a selection is charged what the whole read takes, so that both accept and
/// refuse the same files. Nesting deeper than kMaxPropertyListDepth, counted over the values
/// as built, however the objects are shared, is refused, and with it every reference cycle.
class PlistBinarySurvey {
public:
    /// bytesPerSharedObject is what the builder keeps for an object that references share.
    PlistBinarySurvey(const PlistBinaryLayout& layout, std::uint64_t budget, std::uint64_t bytesPerSharedObject);

    /// One note per object of the offset table, each saying whether the object is shared
    /// (isShared()); empty when the file is refused.
    std::vector<std::uint32_t> run();
    /// Why run() refused the file.
    PlistReadFailure failure() const { return m_failure; }
    /// What the read was charged, as far as the survey went.
    std::uint64_t charged() const { return m_charged; }
    /// How many levels of containers the top value holds (0 for a scalar), once run() has
    /// accepted the file.
    std::uint32_t height() const { return m_height; }

    /// Whether the object of a note that run() answered is a string, data or container that more
    /// than one reference names.
    static bool isShared(std::uint32_t note) { return (note & kShared) != 0; }

private:
    struct Open;
    static constexpr std::uint32_t kStateMask = 3;
    static constexpr std::uint32_t kOpen = 1;
    static constexpr std::uint32_t kDone = 2;
    static constexpr std::uint32_t kShared = 4;
    static constexpr unsigned kHeightShift = 3;

    bool charge(std::uint64_t bytes, std::uint64_t forAWhile = 0);
    bool reach(std::uint64_t index, bool asKey, std::vector<Open>& stack);
    bool refuse(PlistReadFailure failure);

    const PlistBinaryLayout& m_layout;
    std::uint64_t m_budget = 0;
    std::uint64_t m_bytesPerSharedObject = 0;
    std::uint64_t m_charged = 0;
    // The most that one step of the build takes for a while beyond what it keeps: such room is
    // given back before the next step takes its own.
    std::uint64_t m_forAWhile = 0;
    std::uint32_t m_height = 0;
    PlistReadFailure m_failure = PlistReadFailure::None;
    // Per object: whether it is unseen, open (its container is being walked) or done, whether
    // it is shared, and, once done, how many levels of containers it holds.
    std::vector<std::uint32_t> m_notes;
};

}  // namespace platform::plist
