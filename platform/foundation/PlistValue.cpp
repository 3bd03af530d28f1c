#include "platform/foundation/PlistValue.h"

#include "platform/foundation/KeyHash.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <limits>

namespace platform {

PlistValue::PlistValue(std::uint64_t u)
{
    if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        m_value = static_cast<std::int64_t>(u);
    else
        m_value = u;
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

const std::string& PlistDictionary::keyAt(std::size_t index) const
{
    return m_entries.at(index).key;
}

std::vector<std::string> PlistDictionary::keys() const
{
    std::vector<std::string> keys;
    keys.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        keys.push_back(entry.key);
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
        if (m_entries[i].key == key)
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
        if (m_entries[position].key == key)
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
        items[i] = Item{hashed ? (*hashes)[i] : keyHash(m_entries[i].key), i};
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
            if (items[j - 1].hash == item.hash && m_entries[items[j - 1].position].key == m_entries[item.position].key)
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
    const std::size_t hash = m_index ? keyHash(key) : 0;
    const std::size_t existing = m_index ? indexedPositionOf(key, hash) : linearPositionOf(key, m_entries.size());
    if (existing != kNotFound) {
        m_entries[existing].value = std::move(value);
        return;
    }
    m_entries.push_back(Entry{std::move(key), std::move(value)});
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
        set(entry.key, entry.value);
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

PlistDictionary PlistDictionary::takeEntries(std::vector<Entry>& entries, std::vector<std::size_t>* hashes)
{
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
            folded.set(std::move(entry.key), std::move(entry.value));
        return folded;
    }
    // A small dictionary folds repeated keys into their first place in one pass.
    std::vector<Entry>& kept = dict.m_entries;
    std::size_t keptCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t earlier = dict.linearPositionOf(kept[i].key, keptCount);
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
        const PlistValue* theirs = other.find(entry.key);
        if (!theirs || !(*theirs == entry.value))
            return false;
    }
    return true;
}

}  // namespace platform
