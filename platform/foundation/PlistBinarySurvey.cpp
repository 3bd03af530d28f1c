#include "platform/foundation/PlistBinarySurvey.h"

#include <algorithm>
#include <string>

namespace platform::plist {

struct PlistBinarySurvey::Open {
    PlistBinaryLayout::Object object;
    std::uint64_t index = 0;
    std::uint64_t next = 0;        // the reference to follow next, in the order a build reads them
    std::uint64_t references = 0;  // an array's elements, or a dictionary's keys and values
    std::uint32_t belowHeight = 0;  // levels of containers below, as far as walked
};

namespace {

// Text up to this length is held inside its string, with no block of its own.
const std::uint64_t kInlineText = std::string().capacity();

}  // namespace

PlistBinarySurvey::PlistBinarySurvey(const PlistBinaryLayout& layout, std::uint64_t budget,
                                     std::uint64_t bytesPerSharedObject)
    : m_layout(layout), m_budget(budget), m_bytesPerSharedObject(bytesPerSharedObject)
{
}

bool PlistBinarySurvey::refuse(PlistReadFailure failure)
{
    if (m_failure == PlistReadFailure::None)
        m_failure = failure;
    return false;
}

bool PlistBinarySurvey::charge(std::uint64_t bytes, std::uint64_t forAWhile)
{
    // Every charge is far below 2^64 (a few hundred bytes for each byte of a file of at most
    // 64 MiB), so the sum cannot wrap before it passes the budget.
    m_charged += bytes;
    m_forAWhile = std::max(m_forAWhile, forAWhile);
    return m_charged + m_forAWhile <= m_budget || refuse(PlistReadFailure::TooExpansive);
}

std::vector<std::uint32_t> PlistBinarySurvey::run()
{
    m_failure = PlistReadFailure::None;
    m_charged = 0;
    m_forAWhile = 0;
    m_height = 0;
    const std::uint64_t objects = m_layout.objectCount();
    if (!charge(objects * sizeof(std::uint32_t)))
        return {};
    m_notes.assign(static_cast<std::size_t>(objects), 0);
    std::vector<Open> stack;
    bool sound = reach(m_layout.topObject(), false, stack);
    while (sound && !stack.empty()) {
        Open& top = stack.back();
        if (top.next == top.references) {
            const std::uint32_t height = top.belowHeight + 1;
            std::uint32_t& note = m_notes[static_cast<std::size_t>(top.index)];
            note = (note & kShared) | kDone | height << kHeightShift;
            stack.pop_back();
            if (stack.empty())
                m_height = height;
            else
                stack.back().belowHeight = std::max(stack.back().belowHeight, height);
            continue;
        }
        // A dictionary's keys and values are followed in pairs, each key before its value.
        const std::uint64_t n = top.next++;
        const bool dictionary = top.object.isDictionary();
        const bool asKey = dictionary && n % 2 == 0;
        const std::uint64_t number = !dictionary ? n : asKey ? n / 2 : top.object.length + n / 2;
        std::uint64_t index = 0;
        sound = (m_layout.reference(top.object, number, index) || refuse(PlistReadFailure::Malformed))
                && reach(index, asKey, stack);
    }
    if (!sound) {
        std::vector<std::uint32_t>().swap(m_notes);
        return {};
    }
    return std::move(m_notes);
}

bool PlistBinarySurvey::reach(std::uint64_t index, bool asKey, std::vector<Open>& stack)
{
    std::uint32_t& note = m_notes[static_cast<std::size_t>(index)];
    const std::uint32_t state = note & kStateMask;
    // A container met again while it is walked holds itself: it would nest without end.
    if (state == kOpen)
        return refuse(asKey ? PlistReadFailure::Malformed : PlistReadFailure::TooDeep);
    PlistBinaryLayout::Object object;
    if (state == kDone) {
        // Named again: the build keeps what it builds of it for every later reference.
        if (asKey || (note & kShared) == 0) {
            m_layout.object(index, object);
            if (asKey && !object.isText())
                return refuse(PlistReadFailure::Malformed);
            if (object.isBoxed() && (note & kShared) == 0) {
                note |= kShared;
                if (!charge(m_bytesPerSharedObject))
                    return false;
            }
        }
        // Its levels count again below this one.
        const std::uint32_t height = note >> kHeightShift;
        if (height != 0 && stack.size() + height > kMaxPropertyListDepth)
            return refuse(PlistReadFailure::TooDeep);
        if (!stack.empty())
            stack.back().belowHeight = std::max(stack.back().belowHeight, height);
        return true;
    }
    if (!m_layout.object(index, object) || (asKey && !object.isText()))
        return refuse(PlistReadFailure::Malformed);
    if (!object.isContainer()) {
        std::uint64_t bytes = 0;
        if (!m_layout.check(object, bytes))
            return refuse(PlistReadFailure::Malformed);
        note = kDone;
        if (!object.isBoxed())
            return true;
        const bool inlineText = object.isText() && bytes <= kInlineText;
        const auto type = object.type == 0x4 ? PlistValue::Type::Data : PlistValue::Type::String;
        return charge(PlistValue::blockBytes(type) + (inlineText ? 0 : bytes + (object.isText() ? 1 : 0)));
    }
    if (stack.size() >= kMaxPropertyListDepth)
        return refuse(PlistReadFailure::TooDeep);
    const bool dictionary = object.isDictionary();
    const std::uint64_t length = object.length;
    const bool charged = dictionary ? charge(PlistValue::blockBytes(PlistValue::Type::Dictionary)
                                                 + PlistDictionary::bytesToHold(length),
                                             PlistDictionary::bytesToBuild(length))
                                    : charge(PlistValue::blockBytes(PlistValue::Type::Array) + length * sizeof(PlistValue));
    if (!charged)
        return false;
    note = kOpen;
    stack.push_back(Open{object, index, 0, dictionary ? 2 * object.length : object.length, 0});
    return true;
}

}  // namespace platform::plist
