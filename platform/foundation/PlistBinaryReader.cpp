#include "platform/foundation/PlistBinaryReader.h"

#include "platform/foundation/KeyHash.h"
#include "platform/foundation/PlistBinarySurvey.h"


namespace platform::plist {

struct PlistBinaryReader::Frame {
    PlistBinaryLayout::Object object;
    std::uint64_t index = 0;  // the container's object, whose slot keeps it once it is built
    std::uint64_t next = 0;   // the entry to read next
    // How this container's values are read.
    const PlistSelection* selection = nullptr;
    // How the entry being read is read; null when it is dropped.
    const PlistSelection* entrySelection = nullptr;
    PlistValue key;  // the key of the dictionary entry being read
    PlistArray array;
    std::vector<PlistDictionary::Entry> entries;
    std::vector<std::size_t> hashes;   // of the keys, for a dictionary large enough to be indexed
    std::vector<std::size_t> dropped;  // entries whose value the selection left out
};

namespace {

const PlistSelection kLeaf;
// In the slot table: a shared object of which nothing is built yet.
constexpr std::uint32_t kUnbuilt = 0xFFFFFFFFu;
// Charged for every read, whatever its size: a file of a few objects may take more than its
// bytes times the rate.
constexpr std::uint64_t kReadChargeBase = 4096;

}  // namespace

PlistBinaryReader::PlistBinaryReader(std::string_view bytes, const PlistSelection* selection)
    : m_layout(bytes), m_fileBytes(bytes.size()), m_selection(selection ? selection : &PlistSelection::everything())
{
}

std::uint64_t PlistBinaryReader::budgetFor(std::uint64_t fileBytes)
{
    return kMaxReadBytesPerFileByte * fileBytes + kReadChargeBase;
}

PlistReadFailure PlistBinaryReader::check(std::string_view bytes)
{
    PlistBinaryLayout layout(bytes);
    if (!layout.open())
        return PlistReadFailure::Malformed;
    PlistBinarySurvey survey(layout, budgetFor(bytes.size()), kBytesPerSharedObject);
    return survey.run().empty() ? survey.failure() : PlistReadFailure::None;
}

std::optional<PlistValue> PlistBinaryReader::refuse(PlistReadFailure failure)
{
    if (m_failure == PlistReadFailure::None)
        m_failure = failure;
    return std::nullopt;
}

const PlistValue* PlistBinaryReader::kept(std::uint64_t index, const PlistSelection* selection) const
{
    for (std::uint32_t at = m_slotOf[static_cast<std::size_t>(index)]; at != 0 && at != kUnbuilt;) {
        const Slot& slot = m_slots[at - 1];
        if (slot.readWith == selection || slot.readWith == &kLeaf)
            return &slot.value;
        at = slot.next;
    }
    return nullptr;
}

void PlistBinaryReader::keep(std::uint64_t index, const PlistSelection* selection, const PlistValue& value)
{
    std::uint32_t& first = m_slotOf[static_cast<std::size_t>(index)];
    // A slot's place must stay below the mark of an unbuilt object; past it the value is simply
    // not kept, and built again where it is met again.
    if (first == 0 || m_slots.size() >= kUnbuilt - 1)
        return;
    m_slots.push_back(Slot{value, selection, first == kUnbuilt ? 0 : first});
    first = static_cast<std::uint32_t>(m_slots.size());
}

bool PlistBinaryReader::key(const PlistBinaryLayout::Object& dictionary, std::uint64_t n, PlistValue& out)
{
    std::uint64_t index = 0;
    PlistBinaryLayout::Object object;
    if (!m_layout.reference(dictionary, n, index))
        return false;
    if (const PlistValue* value = kept(index, &kLeaf)) {
        out = *value;
        return true;
    }
    if (!m_layout.object(index, object) || !object.isText())
        return false;
    out = m_layout.scalar(object);
    keep(index, &kLeaf, out);
    return true;
}

// Either the value of the object, at once, or a frame for a container whose entries follow.
bool PlistBinaryReader::start(std::uint64_t index, const PlistSelection* selection, std::optional<PlistValue>& value,
                              std::vector<Frame>& stack)
{
    if (const PlistValue* built = kept(index, selection)) {
        value = *built;
        return true;
    }
    PlistBinaryLayout::Object object;
    if (!m_layout.object(index, object))
        return false;
    if (!object.isContainer()) {
        value = m_layout.scalar(object);
        if (object.isBoxed())
            keep(index, &kLeaf, *value);
        return true;
    }
    // Where a dictionary is expected, an array stands for nothing: it is kept empty.
    if (!object.isDictionary() && !selection->keepsArrayElements()) {
        value = PlistValue(PlistArray());
        keep(index, selection, *value);
        return true;
    }
    Frame& frame = stack.emplace_back();
    frame.object = object;
    frame.index = index;
    frame.selection = selection;
    const auto count = static_cast<std::size_t>(object.length);
    if (object.isDictionary()) {
        const std::size_t most = selection->keptAtMost(count);
        frame.entries.reserve(most);
        if (most > PlistDictionary::kIndexedSize)
            frame.hashes.reserve(most);
    } else {
        frame.array.reserve(count);
    }
    return true;
}

std::optional<PlistValue> PlistBinaryReader::build(std::vector<Frame>& stack)
{
    // The survey has checked every object that is built here, so a failure is a fault of ours.
    const auto broken = [this] { return refuse(PlistReadFailure::Malformed); };
    std::optional<PlistValue> value;
    if (!start(m_layout.topObject(), m_selection, value, stack))
        return broken();
    while (!stack.empty()) {
        Frame& top = stack.back();
        const bool dictionary = top.object.isDictionary();
        if (top.next == top.object.length) {
            value = dictionary ? PlistValue(PlistDictionary::takeEntries(top.entries, &top.hashes, &top.dropped))
                               : PlistValue(std::move(top.array));
            keep(top.index, top.selection, *value);
            stack.pop_back();
            if (stack.empty())
                break;
        } else {
            // A dictionary's key comes first: it decides how the value is read. An entry that
            // the selection drops is passed over.
            if (dictionary) {
                if (!key(top.object, top.next, top.key))
                    return broken();
                top.entrySelection = top.selection->below(*top.key.asString());
                if (!top.entrySelection) {
                    ++top.next;
                    continue;
                }
            } else {
                top.entrySelection = top.selection;
            }
            std::uint64_t index = 0;
            const std::size_t depth = stack.size();
            if (!m_layout.reference(top.object, dictionary ? top.object.length + top.next : top.next, index)
                || !start(index, top.entrySelection, value, stack))
                return broken();
            if (stack.size() > depth)
                continue;  // a container, whose entries come first
        }
        Frame& parent = stack.back();
        const bool kept = parent.entrySelection->keeps(*value);
        if (parent.object.isDictionary()) {
            // A dropped value stays as a mark: it is still its key's last value.
            if (!kept) {
                parent.dropped.push_back(parent.entries.size());
                value.emplace();
            }
            // The key's hash is taken now, while its bytes are at hand.
            if (parent.hashes.capacity() != 0)
                parent.hashes.push_back(keyHash(*parent.key.asString()));
            parent.entries.push_back(PlistDictionary::Entry{std::move(parent.key), std::move(*value)});
        } else if (kept) {
            parent.array.push_back(std::move(*value));
        }
        ++parent.next;
    }
    return value;
}

std::optional<PlistValue> PlistBinaryReader::read()
{
    m_failure = PlistReadFailure::None;
    if (!m_layout.open())
        return refuse(PlistReadFailure::Malformed);
    struct Forget {
        PlistBinaryReader& reader;
        ~Forget()
        {
            std::vector<std::uint32_t>().swap(reader.m_slotOf);
            std::deque<Slot>().swap(reader.m_slots);
        }
    } forget{*this};
    PlistBinarySurvey survey(m_layout, budgetFor(m_fileBytes), kBytesPerSharedObject);
    m_slotOf = survey.run();
    if (m_slotOf.empty())
        return refuse(survey.failure());
    // The survey's notes become the slot table: each shared object waits for its first build.
    for (std::uint32_t& note : m_slotOf)
        note = PlistBinarySurvey::isShared(note) ? kUnbuilt : 0;
    m_slots.clear();
    // Exactly as many frames as the values nest, made at once.
    std::vector<Frame> stack;
    stack.reserve(survey.height());
    return build(stack);
}

}  // namespace platform::plist
