#include "platform/foundation/PlistValue.h"

#include "platform/foundation/KeyHash.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace platform {

// A heap block that copies of one value share. Its kind is the tag of the values that hold it.
struct PlistValue::Box {
    std::atomic<std::uint32_t> refs{1};
    bool unshareable = false;
};

template <class T>
struct PlistValue::BoxOf : PlistValue::Box {
    explicit BoxOf(T v) : value(std::move(v)) {}
    T value;
};

namespace {

const std::string kEmptyString;

}  // namespace

PlistValue::PlistValue(std::string s) : m_tag(Tag::String), m_box(nullptr)
{
    if (!s.empty())
        m_box = new BoxOf<std::string>(std::move(s));
}

PlistValue::PlistValue(std::uint64_t u) noexcept
{
    if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        m_tag = Tag::Integer;
        m_integer = static_cast<std::int64_t>(u);
    } else {
        m_tag = Tag::Unsigned;
        m_unsigned = u;
    }
}

PlistValue::PlistValue(PlistData d) : m_tag(Tag::Data), m_box(new BoxOf<PlistData>(std::move(d))) {}
PlistValue::PlistValue(PlistArray a) : m_tag(Tag::Array), m_box(new BoxOf<PlistArray>(std::move(a))) {}
PlistValue::PlistValue(PlistDictionary d) : m_tag(Tag::Dictionary), m_box(new BoxOf<PlistDictionary>(std::move(d))) {}

PlistValue::PlistValue(const PlistValue& other) : m_tag(other.m_tag), m_unsigned(other.m_unsigned)
{
    if (!isBoxed() || !m_box)
        return;
    if (!m_box->unshareable) {
        m_box->refs.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // A block that was handed out for changes is copied, never shared.
    switch (m_tag) {
    case Tag::String: m_box = new BoxOf<std::string>(static_cast<BoxOf<std::string>*>(other.m_box)->value); break;
    case Tag::Data: m_box = new BoxOf<PlistData>(static_cast<BoxOf<PlistData>*>(other.m_box)->value); break;
    case Tag::Array: m_box = new BoxOf<PlistArray>(static_cast<BoxOf<PlistArray>*>(other.m_box)->value); break;
    default: m_box = new BoxOf<PlistDictionary>(static_cast<BoxOf<PlistDictionary>*>(other.m_box)->value); break;
    }
}

PlistValue::PlistValue(PlistValue&& other) noexcept : m_tag(other.m_tag), m_unsigned(other.m_unsigned)
{
    other.m_tag = Tag::String;
    other.m_box = nullptr;
}

PlistValue& PlistValue::operator=(const PlistValue& other)
{
    if (this != &other) {
        PlistValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PlistValue& PlistValue::operator=(PlistValue&& other) noexcept
{
    if (this != &other) {
        release();
        m_tag = other.m_tag;
        m_unsigned = other.m_unsigned;
        other.m_tag = Tag::String;
        other.m_box = nullptr;
    }
    return *this;
}

void PlistValue::release() noexcept
{
    if (!isBoxed() || !m_box)
        return;
    Box* box = m_box;
    m_box = nullptr;
    if (box->refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    switch (m_tag) {
    case Tag::String: delete static_cast<BoxOf<std::string>*>(box); break;
    case Tag::Data: delete static_cast<BoxOf<PlistData>*>(box); break;
    case Tag::Array: delete static_cast<BoxOf<PlistArray>*>(box); break;
    default: delete static_cast<BoxOf<PlistDictionary>*>(box); break;
    }
}

PlistValue::Box* PlistValue::unshared()
{
    if (m_box->refs.load(std::memory_order_acquire) != 1) {
        // Other values share the block: this one takes a copy of its own.
        Box* own = nullptr;
        if (m_tag == Tag::Array)
            own = new BoxOf<PlistArray>(static_cast<BoxOf<PlistArray>*>(m_box)->value);
        else
            own = new BoxOf<PlistDictionary>(static_cast<BoxOf<PlistDictionary>*>(m_box)->value);
        release();
        m_box = own;
    }
    m_box->unshareable = true;
    return m_box;
}

const std::string* PlistValue::asString() const
{
    if (m_tag != Tag::String)
        return nullptr;
    return m_box ? &static_cast<BoxOf<std::string>*>(m_box)->value : &kEmptyString;
}

const PlistData* PlistValue::asData() const
{
    return m_tag == Tag::Data ? &static_cast<BoxOf<PlistData>*>(m_box)->value : nullptr;
}

const PlistArray* PlistValue::asArray() const
{
    return m_tag == Tag::Array ? &static_cast<BoxOf<PlistArray>*>(m_box)->value : nullptr;
}

PlistArray* PlistValue::asArray()
{
    return m_tag == Tag::Array ? &static_cast<BoxOf<PlistArray>*>(unshared())->value : nullptr;
}

const PlistDictionary* PlistValue::asDictionary() const
{
    return m_tag == Tag::Dictionary ? &static_cast<BoxOf<PlistDictionary>*>(m_box)->value : nullptr;
}

PlistDictionary* PlistValue::asDictionary()
{
    return m_tag == Tag::Dictionary ? &static_cast<BoxOf<PlistDictionary>*>(unshared())->value : nullptr;
}

bool PlistValue::operator==(const PlistValue& other) const
{
    if (m_tag != other.m_tag)
        return false;
    switch (m_tag) {
    case Tag::Integer: return m_integer == other.m_integer;
    case Tag::Unsigned: return m_unsigned == other.m_unsigned;
    case Tag::Real: return m_real == other.m_real;
    case Tag::Boolean: return m_boolean == other.m_boolean;
    case Tag::Date: return m_date == other.m_date;
    default: break;
    }
    if (m_box == other.m_box)
        return true;
    switch (m_tag) {
    case Tag::String: return *asString() == *other.asString();
    case Tag::Data: return *asData() == *other.asData();
    case Tag::Array: return *asArray() == *other.asArray();
    default: return *asDictionary() == *other.asDictionary();
    }
}

// A slot is 0 when empty; otherwise its low half is the position plus one and its high half the
// high bits of the key's hash.
struct PlistDictionary::Index {
    std::vector<std::uint64_t> slots;
};

namespace {

std::uint64_t fingerprintOf(std::size_t hash)
{
    // The slot number takes the low bits; a 64-bit hash gives its high half, a 32-bit one
    // all it has.
    if constexpr (sizeof(std::size_t) > 4)
        return static_cast<std::uint64_t>(hash) & 0xFFFFFFFF00000000ull;
    else
        return static_cast<std::uint64_t>(hash) << 32;
}

}  // namespace

PlistDictionary::PlistDictionary() = default;

PlistDictionary::PlistDictionary(const PlistDictionary& other)
    : m_entries(other.m_entries), m_index(other.m_index ? std::make_unique<Index>(*other.m_index) : nullptr)
{
}

PlistDictionary::PlistDictionary(PlistDictionary&&) noexcept = default;

PlistDictionary& PlistDictionary::operator=(const PlistDictionary& other)
{
    if (this != &other) {
        PlistDictionary copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PlistDictionary& PlistDictionary::operator=(PlistDictionary&&) noexcept = default;
PlistDictionary::~PlistDictionary() = default;

namespace {

const std::string& keyOf(const PlistDictionary::Entry& entry)
{
    return *entry.key.asString();
}

}  // namespace

const std::string& PlistDictionary::keyAt(std::size_t index) const
{
    return keyOf(m_entries.at(index));
}

std::vector<std::string> PlistDictionary::keys() const
{
    std::vector<std::string> keys;
    keys.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        keys.push_back(keyOf(entry));
    return keys;
}

const PlistValue& PlistDictionary::valueAt(std::size_t index) const
{
    return m_entries.at(index).value;
}

PlistValue& PlistDictionary::valueAt(std::size_t index)
{
    return m_entries.at(index).value;
}

std::size_t PlistDictionary::linearPositionOf(std::string_view key, std::size_t end) const
{
    for (std::size_t i = 0; i < end; ++i) {
        if (keyOf(m_entries[i]) == key)
            return i;
    }
    return kNotFound;
}

std::size_t PlistDictionary::positionOf(std::string_view key) const
{
    return m_index ? indexedPositionOf(key, keyHash(key)) : linearPositionOf(key, m_entries.size());
}

std::size_t PlistDictionary::indexedPositionOf(std::string_view key, std::size_t hash) const
{
    const std::vector<std::uint64_t>& slots = m_index->slots;
    const std::size_t mask = slots.size() - 1;
    const std::uint64_t fingerprint = fingerprintOf(hash);
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = slots[slot];
        if (entry == 0)
            return kNotFound;
        if ((entry & 0xFFFFFFFF00000000ull) != fingerprint)
            continue;
        const std::size_t position = static_cast<std::size_t>(entry & 0xFFFFFFFFu) - 1;
        if (keyOf(m_entries[position]) == key)
            return position;
    }
}

void PlistDictionary::insertIntoIndex(std::size_t position, std::size_t hash)
{
    std::vector<std::uint64_t>& slots = m_index->slots;
    const std::size_t mask = slots.size() - 1;
    std::size_t slot = hash & mask;
    while (slots[slot] != 0)
        slot = (slot + 1) & mask;
    slots[slot] = fingerprintOf(hash) | static_cast<std::uint64_t>(position + 1);
}

void PlistDictionary::rebuildIndex(std::size_t keyCount)
{
    if (keyCount <= kIndexedSize) {
        m_index.reset();
        return;
    }
    // The keys are distinct here, which is all that indexInOrder can refuse.
    indexInOrder(keyCount);
}

bool PlistDictionary::indexInOrder(std::size_t keyCount, const std::vector<std::size_t>* hashes)
{
    // At most half full, so that probe runs stay short.
    std::size_t slotCount = 64;
    unsigned bits = 6;
    while (slotCount < 2 * keyCount) {
        slotCount *= 2;
        ++bits;
    }
    const std::size_t mask = slotCount - 1;
    const std::size_t count = m_entries.size();

    // The entries in the order of their home slots, by two stable passes of a radix sort, so
    // that the table is written front to back rather than at random.
    struct Item {
        std::size_t hash;
        std::size_t position;
    };
    std::vector<Item> items(count);
    std::vector<Item> sorted(count);
    const bool hashed = hashes && hashes->size() == count;
    for (std::size_t i = 0; i < count; ++i)
        items[i] = Item{hashed ? (*hashes)[i] : keyHash(keyOf(m_entries[i])), i};
    const unsigned lowBits = bits / 2;
    for (int pass = 0; pass < 2; ++pass) {
        const unsigned shift = pass == 0 ? 0 : lowBits;
        const unsigned width = pass == 0 ? lowBits : bits - lowBits;
        const std::size_t digits = std::size_t{1} << width;
        const auto digitOf = [&](const Item& item) { return ((item.hash & mask) >> shift) & (digits - 1); };
        std::vector<std::size_t> starts(digits + 1, 0);
        for (const Item& item : items)
            ++starts[digitOf(item) + 1];
        for (std::size_t d = 1; d <= digits; ++d)
            starts[d] += starts[d - 1];
        for (const Item& item : items)
            sorted[starts[digitOf(item)]++] = item;
        items.swap(sorted);
    }

    auto index = std::make_unique<Index>();
    index->slots.assign(slotCount, 0);
    std::vector<Item> wrapped;
    std::size_t next = 0;  // every slot from an item's home up to here is taken
    for (std::size_t k = 0; k < count; ++k) {
        const Item& item = items[k];
        const std::size_t home = item.hash & mask;
        // A repeated key has the same hash, so the same home: it sits among the items just before.
        for (std::size_t j = k; j > 0 && (items[j - 1].hash & mask) == home; --j) {
            if (items[j - 1].hash == item.hash && keyOf(m_entries[items[j - 1].position]) == keyOf(m_entries[item.position]))
                return false;
        }
        const std::size_t slot = std::max(next, home);
        if (slot >= slotCount) {
            wrapped.push_back(item);
            continue;
        }
        index->slots[slot] = fingerprintOf(item.hash) | static_cast<std::uint64_t>(item.position + 1);
        next = slot + 1;
    }
    m_index = std::move(index);
    // The few that run past the end go round to the front, as a probe would find them.
    for (const Item& item : wrapped)
        insertIntoIndex(item.position, item.hash);
    return true;
}

const PlistValue* PlistDictionary::find(std::string_view key) const
{
    const std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &m_entries[position].value;
}

PlistValue* PlistDictionary::find(std::string_view key)
{
    const std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &m_entries[position].value;
}

const std::string* PlistDictionary::stringForKey(std::string_view key) const
{
    const PlistValue* value = find(key);
    return value ? value->asString() : nullptr;
}

const PlistArray* PlistDictionary::arrayForKey(std::string_view key) const
{
    const PlistValue* value = find(key);
    return value ? value->asArray() : nullptr;
}

const PlistDictionary* PlistDictionary::dictionaryForKey(std::string_view key) const
{
    const PlistValue* value = find(key);
    return value ? value->asDictionary() : nullptr;
}

void PlistDictionary::set(std::string key, PlistValue value)
{
    setEntry(Entry{PlistValue(std::move(key)), std::move(value)});
}

void PlistDictionary::setEntry(Entry entry)
{
    const std::string& key = keyOf(entry);
    const std::size_t hash = m_index ? keyHash(key) : 0;
    const std::size_t existing = m_index ? indexedPositionOf(key, hash) : linearPositionOf(key, m_entries.size());
    if (existing != kNotFound) {
        m_entries[existing].value = std::move(entry.value);
        return;
    }
    m_entries.push_back(std::move(entry));
    if (m_index && 2 * m_entries.size() <= m_index->slots.size())
        insertIntoIndex(m_entries.size() - 1, hash);
    else if (m_entries.size() > kIndexedSize)
        rebuildIndex(2 * m_entries.size());
}

void PlistDictionary::reserve(std::size_t count)
{
    m_entries.reserve(count);
    if (count > kIndexedSize && (!m_index || 2 * count > m_index->slots.size()))
        rebuildIndex(count);
}

void PlistDictionary::addEntriesFromDictionary(const PlistDictionary& other)
{
    reserve(size() + other.size());
    for (const Entry& entry : other.m_entries)
        setEntry(entry);
}

bool PlistDictionary::erase(std::string_view key)
{
    const std::size_t position = positionOf(key);
    if (position == kNotFound)
        return false;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(position));
    rebuildIndex(m_entries.size());
    return true;
}

void PlistDictionary::clear()
{
    m_entries.clear();
    m_index.reset();
}

namespace {

/// Whether the key of an entry at one of the positions dropped (ascending) is also the key of an
/// entry that is not dropped. hashes holds keyHash() of every entry's key, or nothing when count
/// is small enough to compare every pair.
bool droppedKeyComesAgain(const std::vector<PlistDictionary::Entry>& entries, const std::vector<std::size_t>& hashes,
                          const std::vector<std::size_t>& dropped)
{
    const std::size_t count = entries.size();
    if (hashes.size() != count) {
        for (std::size_t d : dropped) {
            std::size_t next = 0;
            for (std::size_t i = 0; i < count; ++i) {
                if (next < dropped.size() && dropped[next] == i) {
                    ++next;
                    continue;
                }
                if (keyOf(entries[i]) == keyOf(entries[d]))
                    return true;
            }
        }
        return false;
    }
    // The dropped entries' positions in an open-addressing table of their hashes, at most half
    // full; every other entry looks its key up there once.
    std::size_t slotCount = 16;
    while (slotCount < 2 * dropped.size())
        slotCount *= 2;
    const std::size_t mask = slotCount - 1;
    std::vector<std::size_t> slots(slotCount, 0);
    for (std::size_t d : dropped) {
        std::size_t slot = hashes[d] & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = d + 1;
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (next < dropped.size() && dropped[next] == i) {
            ++next;
            continue;
        }
        for (std::size_t slot = hashes[i] & mask; slots[slot] != 0; slot = (slot + 1) & mask) {
            const std::size_t d = slots[slot] - 1;
            if (hashes[d] == hashes[i] && keyOf(entries[d]) == keyOf(entries[i]))
                return true;
        }
    }
    return false;
}

/// Removes the entries (and their hashes, when hashes holds one per entry) at the positions
/// dropped, keeping the others in order.
void leaveOut(std::vector<PlistDictionary::Entry>& entries, std::vector<std::size_t>& hashes,
              const std::vector<std::size_t>& dropped)
{
    const bool hashed = hashes.size() == entries.size();
    std::size_t kept = 0;
    std::size_t next = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (next < dropped.size() && dropped[next] == i) {
            ++next;
            continue;
        }
        if (kept != i) {
            entries[kept] = std::move(entries[i]);
            if (hashed)
                hashes[kept] = hashes[i];
        }
        ++kept;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(kept), entries.end());
    if (hashed)
        hashes.resize(kept);
}

/// Up to this many pairs of a dropped entry and another, their keys are compared pair by pair.
constexpr std::size_t kComparedPairs = 256;

}  // namespace

PlistDictionary PlistDictionary::takeEntries(std::vector<Entry>& entries, std::vector<std::size_t>* hashes,
                                             const std::vector<std::size_t>* dropped)
{
    if (dropped && !dropped->empty()) {
        // A dropped entry's key seldom comes again: then the dropped entries simply leave. The
        // keys are folded one by one only when one of them does.
        std::vector<std::size_t> ownHashes;
        std::vector<std::size_t>& keyHashes = hashes ? *hashes : ownHashes;
        if (keyHashes.size() != entries.size() && dropped->size() * entries.size() > kComparedPairs) {
            keyHashes.clear();
            keyHashes.reserve(entries.size());
            for (const Entry& entry : entries)
                keyHashes.push_back(keyHash(keyOf(entry)));
        }
        if (!droppedKeyComesAgain(entries, keyHashes, *dropped)) {
            leaveOut(entries, keyHashes, *dropped);
            PlistDictionary dict = takeEntries(entries, &keyHashes);
            keyHashes.clear();
            return dict;
        }
        // Each key takes its last value, dropped or not, in the place it first had; the keys
        // whose last value was dropped are then left out.
        std::unordered_map<std::string_view, std::size_t> placeOf;
        std::vector<Entry> folded;
        std::vector<bool> gone;
        std::size_t next = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const bool isDropped = next < dropped->size() && (*dropped)[next] == i;
            next += isDropped ? 1 : 0;
            // A key's text lives in its own block (or is the shared empty string), so the view
            // stays good when the entry moves.
            const auto [at, added] = placeOf.try_emplace(std::string_view(keyOf(entries[i])), folded.size());
            if (added) {
                folded.push_back(std::move(entries[i]));
                gone.push_back(isDropped);
            } else {
                folded[at->second].value = std::move(entries[i].value);
                gone[at->second] = isDropped;
            }
        }
        entries.clear();
        if (hashes)
            hashes->clear();
        placeOf.clear();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < folded.size(); ++i) {
            if (gone[i])
                continue;
            if (kept != i)
                folded[kept] = std::move(folded[i]);
            ++kept;
        }
        folded.erase(folded.begin() + static_cast<std::ptrdiff_t>(kept), folded.end());
        return takeEntries(folded);
    }
    PlistDictionary dict;
    const std::size_t count = entries.size();
    struct Emptied {
        std::vector<std::size_t>* hashes;
        ~Emptied()
        {
            if (hashes)
                hashes->clear();
        }
    } emptied{hashes};
    // Taken over whole when little room would go unused; otherwise copied at the exact size,
    // and the vector keeps its room for the next use.
    if (entries.capacity() - count <= count / 4) {
        dict.m_entries = std::move(entries);
        entries = {};
    } else {
        dict.m_entries.reserve(count);
        std::move(entries.begin(), entries.end(), std::back_inserter(dict.m_entries));
        entries.clear();
    }
    if (count > kIndexedSize) {
        if (dict.indexInOrder(count, hashes))
            return dict;
        // Repeated keys: folded as set() folds them.
        PlistDictionary folded;
        folded.reserve(count);
        for (Entry& entry : dict.m_entries)
            folded.setEntry(std::move(entry));
        return folded;
    }
    // A small dictionary folds repeated keys into their first place in one pass.
    std::vector<Entry>& kept = dict.m_entries;
    std::size_t keptCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t earlier = dict.linearPositionOf(keyOf(kept[i]), keptCount);
        if (earlier != kNotFound) {
            kept[earlier].value = std::move(kept[i].value);
            continue;
        }
        if (keptCount != i)
            kept[keptCount] = std::move(kept[i]);
        ++keptCount;
    }
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(keptCount), kept.end());
    return dict;
}

bool PlistDictionary::operator==(const PlistDictionary& other) const
{
    if (size() != other.size())
        return false;
    for (const Entry& entry : m_entries) {
        const PlistValue* theirs = other.find(keyOf(entry));
        if (!theirs || !(*theirs == entry.value))
            return false;
    }
    return true;
}

}  // namespace platform
