#include "platform/foundation/PlistBinaryReader.h"

#include "platform/foundation/KeyHash.h"
#include "platform/foundation/PlistEncoding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform::plist {

struct PlistBinaryReader::Frame {
    bool isDictionary = false;
    std::uint64_t refsAt = 0;  // position of the first reference
    std::uint64_t count = 0;   // entries (pairs for a dictionary)
    std::uint64_t next = 0;
    std::uint64_t reserved = 0;  // room made ahead for the entries
    // How this container's values are read; null when it is dropped.
    const PlistSelection* selection = nullptr;
    // How the entry being read is read; null when it is dropped.
    const PlistSelection* entrySelection = nullptr;
    std::uint64_t index = 0;  // the container's object, whose slot keeps it once it is built
    PlistValue key;           // the key of the dictionary entry being read
    PlistArray array;
    std::vector<PlistDictionary::Entry> entries;
    std::vector<std::size_t> hashes;   // of the keys, for a dictionary large enough to be indexed
    std::vector<std::size_t> dropped;  // entries whose value the selection left out
};

namespace {

const PlistSelection kLeaf;
const PlistSelection kChecked;
// In the slot table: the object was decoded once and nothing of it was kept.
constexpr std::uint32_t kDecodedOnce = 0xFFFFFFFFu;

}  // namespace

PlistBinaryReader::PlistBinaryReader(std::string_view bytes, const PlistSelection* selection)
    : m_bytes(bytes), m_selection(selection ? selection : &PlistSelection::everything())
{
}

std::optional<PlistValue> PlistBinaryReader::refuse(PlistReadFailure failure)
{
    if (m_failure == PlistReadFailure::None)
        m_failure = failure;
    return std::nullopt;
}

bool PlistBinaryReader::readUInt(std::uint64_t at, unsigned width, std::uint64_t& out) const
{
    if (width == 0 || width > 8 || at > m_bytes.size() || m_bytes.size() - at < width)
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_bytes.data()) + at;
    const auto at8 = [bytes](unsigned i) { return static_cast<std::uint64_t>(bytes[i]); };
    switch (width) {
    case 1: out = at8(0); return true;
    case 2: out = at8(0) << 8 | at8(1); return true;
    case 3: out = at8(0) << 16 | at8(1) << 8 | at8(2); return true;
    case 4: out = at8(0) << 24 | at8(1) << 16 | at8(2) << 8 | at8(3); return true;
    default: break;
    }
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i)
        value = (value << 8) | at8(i);
    out = value;
    return true;
}

bool PlistBinaryReader::objectOffset(std::uint64_t index, std::uint64_t& out) const
{
    if (index >= m_objectCount)
        return false;
    if (!readUInt(m_tableAt + index * m_offsetSize, m_offsetSize, out))
        return false;
    return out >= 8 && out < m_tableAt;
}

bool PlistBinaryReader::reference(std::uint64_t at, std::uint64_t& out) const
{
    return readUInt(at, m_refSize, out) && out < m_objectCount;
}

bool PlistBinaryReader::lengthOf(std::uint64_t at, unsigned info, std::uint64_t& length,
                                 std::uint64_t& contentAt) const
{
    if (info != 0xF) {
        length = info;
        contentAt = at + 1;
        return true;
    }
    if (at + 1 >= m_tableAt)
        return false;
    const auto marker = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(at + 1)]);
    if ((marker >> 4) != 0x1 || (marker & 0xF) > 3)
        return false;
    const unsigned width = 1u << (marker & 0xF);
    if (!readUInt(at + 2, width, length))
        return false;
    contentAt = at + 2 + width;
    return true;
}

// Counts one decoded value and its string or data bytes against the bounds that follow the file.
bool PlistBinaryReader::weigh(std::uint64_t payload)
{
    m_payload += payload;
    if (++m_values > m_valueLimit || payload > m_payloadLimit || m_payload > m_payloadLimit) {
        m_failure = PlistReadFailure::TooExpansive;
        return false;
    }
    return true;
}

bool PlistBinaryReader::decodeString(std::uint64_t offset, std::string& out)
{
    const auto marker = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(offset)]);
    const unsigned type = marker >> 4;
    std::uint64_t length = 0;
    std::uint64_t at = 0;
    if ((type != 0x5 && type != 0x6) || !lengthOf(offset, marker & 0xF, length, at))
        return false;
    const std::uint64_t unit = type == 0x6 ? 2 : 1;
    if (length > m_tableAt / unit || at > m_tableAt || m_tableAt - at < length * unit)
        return false;
    if (!weigh(length * unit))
        return false;
    out.clear();
    const char* data = m_bytes.data() + static_cast<std::size_t>(at);
    if (type == 0x5) {
        // ASCII means seven bits: a byte above them is refused, as the platform refuses it.
        out.assign(data, static_cast<std::size_t>(length));
        unsigned char bits = 0;
        for (const char c : out)
            bits |= static_cast<unsigned char>(c);
        return bits < 0x80;
    }
    out.reserve(static_cast<std::size_t>(length) * 3 / 2);
    const auto unitAt = [data](std::uint64_t i) {
        return static_cast<std::uint32_t>((static_cast<unsigned char>(data[2 * i]) << 8)
                                          | static_cast<unsigned char>(data[2 * i + 1]));
    };
    for (std::uint64_t i = 0; i < length; ++i) {
        const std::uint32_t value = unitAt(i);
        if (value >= 0xD800 && value <= 0xDBFF && i + 1 < length) {
            const std::uint32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (value >= 0xD800 && value <= 0xDFFF)
            return false;  // a lone surrogate is not text
        appendUtf8(out, value);
    }
    return true;
}

bool PlistBinaryReader::decodeKey(std::uint64_t index, PlistValue& key)
{
    if (index >= m_objectCount)
        return false;
    if (const Slot* slot = findSlot(index)) {
        if (slot->readWith != &kLeaf || !slot->value.asString() || !weigh(0))
            return false;
        key = slot->value;
        return true;
    }
    std::uint64_t offset = 0;
    std::string text;
    if (!objectOffset(index, offset) || !decodeString(offset, text))
        return false;
    key = PlistValue(std::move(text));
    if (secondDecoding(index)) {
        Slot& slot = makeSlot(index);
        slot.value = key;
        slot.readWith = &kLeaf;
    }
    return true;
}

PlistBinaryReader::Slot* PlistBinaryReader::findSlot(std::uint64_t index)
{
    const std::uint32_t at = m_slotOf[static_cast<std::size_t>(index)];
    return at == 0 || at == kDecodedOnce ? nullptr : &m_slots[at - 1];
}

bool PlistBinaryReader::secondDecoding(std::uint64_t index)
{
    std::uint32_t& at = m_slotOf[static_cast<std::size_t>(index)];
    if (at != 0)
        return true;
    at = kDecodedOnce;
    return false;
}

PlistBinaryReader::Slot& PlistBinaryReader::makeSlot(std::uint64_t index)
{
    m_slots.emplace_back();
    m_slotOf[static_cast<std::size_t>(index)] = static_cast<std::uint32_t>(m_slots.size());
    return m_slots.back();
}

bool PlistBinaryReader::decodeScalar(std::uint64_t offset, unsigned type, unsigned info,
                                     std::optional<PlistValue>& scalar)
{
    switch (type) {
    case 0x0:
        if ((info != 0x8 && info != 0x9) || !weigh(0))
            return false;
        scalar = PlistValue(info == 0x9);
        return true;
    case 0x1: {
        std::uint64_t value = 0;
        if (info == 4) {
            // Sixteen bytes hold the integers above INT64_MAX; anything wider is refused.
            std::uint64_t high = 0;
            if (!readUInt(offset + 1, 8, high) || high != 0 || !readUInt(offset + 9, 8, value) || !weigh(0))
                return false;
            scalar = PlistValue(value);
            return true;
        }
        if (info > 3 || !readUInt(offset + 1, 1u << info, value) || !weigh(0))
            return false;
        // Eight bytes are signed; fewer are always positive.
        scalar = info == 3 ? PlistValue(static_cast<std::int64_t>(value)) : PlistValue(value);
        return true;
    }
    case 0x2:
    case 0x3: {
        if ((info != 2 && info != 3) || (type == 0x3 && info != 3))
            return false;
        std::uint64_t raw = 0;
        if (!readUInt(offset + 1, 1u << info, raw))
            return false;
        double value;
        if (info == 2) {
            const auto bits = static_cast<std::uint32_t>(raw);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            value = f;
        } else {
            std::memcpy(&value, &raw, sizeof value);
        }
        if (type == 0x3 && !std::isfinite(value))
            return false;  // a date is a point in time
        if (!weigh(0))
            return false;
        if (type == 0x2)
            scalar.emplace(value);
        else
            scalar.emplace(PlistDate{value});
        return true;
    }
    case 0x4: {
        std::uint64_t length = 0;
        std::uint64_t at = 0;
        if (!lengthOf(offset, info, length, at) || at > m_tableAt || m_tableAt - at < length || !weigh(length))
            return false;
        PlistData data;
        const auto* begin = reinterpret_cast<const std::uint8_t*>(m_bytes.data()) + at;
        data.bytes.assign(begin, begin + length);
        scalar = PlistValue(std::move(data));
        return true;
    }
    case 0x5:
    case 0x6: {
        std::string text;
        if (!decodeString(offset, text))
            return false;
        scalar = PlistValue(std::move(text));
        return true;
    }
    case 0x8: {
        // A keyed archive's reference reads as its number.
        std::uint64_t value = 0;
        if (!readUInt(offset + 1, info + 1, value) || !weigh(0))
            return false;
        scalar = PlistValue(value);
        return true;
    }
    default:
        return false;
    }
}

bool PlistBinaryReader::decode(std::uint64_t index, const PlistSelection* selection, std::optional<PlistValue>& scalar,
                               Frame& frame, bool& isContainer)
{
    std::uint64_t offset = 0;
    if (!objectOffset(index, offset))
        return false;
    // An object decoded before is not decoded again: its value is shared. A container is
    // shared with references that read it with the same selection, or that drop it.
    const Slot* slot = findSlot(index);
    isContainer = false;
    if (slot && (slot->readWith == &kLeaf || slot->readWith == selection || !selection)) {
        if (!weigh(0))
            return false;
        if (selection)
            scalar = slot->value;
        return true;
    }
    const auto marker = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(offset)]);
    const unsigned type = marker >> 4;
    const unsigned info = marker & 0xF;
    isContainer = type == 0xA || type == 0xD;
    if (!isContainer) {
        if (!decodeScalar(offset, type, info, scalar))
            return false;
        // Strings and data referred to again are kept for later references; numbers are as small
        // as the slot.
        if ((type == 0x4 || type == 0x5 || type == 0x6) && secondDecoding(index)) {
            Slot& made = makeSlot(index);
            made.value = *scalar;
            made.readWith = &kLeaf;
        }
        return true;
    }
    std::uint64_t count = 0;
    std::uint64_t at = 0;
    if (!lengthOf(offset, info, count, at))
        return false;
    const std::uint64_t refs = type == 0xD ? 2 : 1;
    if (count > m_tableAt / (refs * m_refSize) || at > m_tableAt || m_tableAt - at < count * refs * m_refSize)
        return false;
    if (!weigh(0))
        return false;
    frame = Frame();
    frame.isDictionary = type == 0xD;
    frame.index = index;
    frame.refsAt = at;
    frame.count = count;
    frame.selection = selection;
    if (!selection)
        return true;
    // Room for the entries is made ahead while the open containers together claim no more than
    // the values the file may still decode to.
    if (count <= m_valueLimit - m_values && m_reserved <= m_valueLimit - m_values - count) {
        frame.reserved = count;
        m_reserved += count;
        if (frame.isDictionary) {
            const std::size_t kept = selection->keptAtMost(static_cast<std::size_t>(count));
            frame.entries.reserve(kept);
            if (kept > PlistDictionary::kIndexedSize)
                frame.hashes.reserve(kept);
        } else {
            frame.array.reserve(static_cast<std::size_t>(count));
        }
    }
    return true;
}

std::optional<PlistValue> PlistBinaryReader::read()
{
    m_failure = PlistReadFailure::None;
    constexpr std::size_t kTrailer = 32;
    if (m_bytes.size() < 8 + kTrailer + 1 || m_bytes.substr(0, 8) != "bplist00")
        return refuse(PlistReadFailure::Malformed);
    const std::uint64_t trailerAt = m_bytes.size() - kTrailer;
    m_offsetSize = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(trailerAt + 6)]);
    m_refSize = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(trailerAt + 7)]);
    if (!readUInt(trailerAt + 8, 8, m_objectCount) || !readUInt(trailerAt + 16, 8, m_topObject)
        || !readUInt(trailerAt + 24, 8, m_tableAt))
        return refuse(PlistReadFailure::Malformed);
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
        return refuse(PlistReadFailure::Malformed);
    if (m_objectCount == 0 || m_topObject >= m_objectCount || m_tableAt < 9 || m_tableAt > trailerAt)
        return refuse(PlistReadFailure::Malformed);
    if (m_objectCount > (trailerAt - m_tableAt) / m_offsetSize)
        return refuse(PlistReadFailure::Malformed);
    // One value per reference, and a second for an object that is built for its first reference
    // and again, to be kept, for its second.
    m_valueLimit = 2 * (1 + (m_tableAt - 8) / m_refSize);
    m_payloadLimit = kMaxBinaryExpansion * static_cast<std::uint64_t>(m_bytes.size());
    m_values = 0;
    m_payload = 0;
    m_reserved = 0;
    // The slots are made as objects are decoded; each object's number takes four bytes until then.
    m_slotOf.assign(static_cast<std::size_t>(m_objectCount), 0);
    m_slots.clear();
    struct Forget {
        PlistBinaryReader& reader;
        ~Forget()
        {
            std::vector<std::uint32_t>().swap(reader.m_slotOf);
            std::deque<Slot>().swap(reader.m_slots);
        }
    } forget{*this};

    const auto refused = [this] { return refuse(PlistReadFailure::Malformed); };
    std::vector<Frame> stack;
    {
        std::optional<PlistValue> scalar;
        Frame frame;
        bool isContainer = false;
        if (!decode(m_topObject, m_selection, scalar, frame, isContainer))
            return refused();
        if (!isContainer)
            return scalar;
        stack.push_back(std::move(frame));
    }

    while (!stack.empty()) {
        Frame& top = stack.back();
        std::optional<PlistValue> value;
        if (top.next == top.count) {
            m_reserved -= top.reserved;
            if (top.selection)
                value = top.isDictionary
                            ? PlistValue(PlistDictionary::takeEntries(top.entries, &top.hashes, &top.dropped))
                            : PlistValue(std::move(top.array));
            Slot* slot = findSlot(top.index);
            if (slot && value) {
                slot->value = *value;
                slot->readWith = top.selection;
            } else if (!slot && secondDecoding(top.index)) {
                Slot& kept = makeSlot(top.index);
                kept.value = value ? *value : PlistValue();
                kept.readWith = value ? top.selection : &kChecked;
            }
            stack.pop_back();
            if (stack.empty())
                return value;
        } else {
            // A dictionary's key comes first: it decides how the value is read. Dropped entries
            // are decoded all the same, so that a selection never changes what is refused.
            if (top.isDictionary) {
                std::uint64_t keyRef = 0;
                if (!reference(top.refsAt + top.next * m_refSize, keyRef) || !decodeKey(keyRef, top.key))
                    return refused();
                top.entrySelection = top.selection ? top.selection->below(*top.key.asString()) : nullptr;
            } else {
                top.entrySelection = top.selection && top.selection->keepsArrayElements() ? top.selection : nullptr;
            }
            const std::uint64_t valueAt = top.isDictionary ? top.refsAt + (top.count + top.next) * m_refSize
                                                           : top.refsAt + top.next * m_refSize;
            std::uint64_t valueRef = 0;
            if (!reference(valueAt, valueRef))
                return refused();
            Frame frame;
            bool isContainer = false;
            if (!decode(valueRef, top.entrySelection, value, frame, isContainer))
                return refused();
            if (isContainer) {
                // Depth bounds cycles as well: a cycle never ends and so exceeds the bound.
                if (stack.size() >= kMaxPropertyListDepth)
                    return refuse(PlistReadFailure::TooDeep);
                stack.push_back(std::move(frame));
                continue;
            }
        }
        Frame& parent = stack.back();
        if (parent.entrySelection && value) {
            const bool kept = parent.entrySelection->keeps(*value);
            if (parent.isDictionary) {
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
        }
        ++parent.next;
    }
    return refused();
}

}  // namespace platform::plist
