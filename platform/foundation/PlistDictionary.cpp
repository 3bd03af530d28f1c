#include "platform/foundation/PlistValue.h"

#include "platform/foundation/KeyHash.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <unordered_map>

namespace platform {

// A slot is 0 when empty; otherwise its low half is the position plus one and its high half the
// high bits of the key's hash.
struct PlistDictionary::Index {
    std::vector<std::uint64_t> slots;
};

namespace {

// The index of keyCount keys: a power of two of slots, at most half full, so that probe runs
// stay short.
std::uint64_t slotCountFor(std::uint64_t keyCount)
{
    std::uint64_t slotCount = 64;
    while (slotCount < 2 * keyCount)
        slotCount *= 2;
    return slotCount;
}

unsigned bitsOf(std::uint64_t slotCount)
{
    unsigned bits = 0;
    while ((std::uint64_t{1} << bits) < slotCount)
        ++bits;
    return bits;
}

// An entry on its way into the index: its key's hash and its position.
struct IndexItem {
    std::size_t hash;
    std::size_t position;
};

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

const PlistValue& PlistDictionary::keyValueAt(std::size_t index) const
{
    return m_entries.at(index).key;
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
    const auto slotCount = static_cast<std::size_t>(slotCountFor(keyCount));
    const unsigned bits = bitsOf(slotCount);
    const std::size_t mask = slotCount - 1;
    const std::size_t count = m_entries.size();

    // The entries in the order of their home slots, by two stable passes of a radix sort, so
    // that the table is written front to back rather than at random.
    std::vector<IndexItem> items(count);
    std::vector<IndexItem> sorted(count);
    const bool hashed = hashes && hashes->size() == count;
    for (std::size_t i = 0; i < count; ++i)
        items[i] = IndexItem{hashed ? (*hashes)[i] : keyHash(keyOf(m_entries[i])), i};
    const unsigned lowBits = bits / 2;
    for (int pass = 0; pass < 2; ++pass) {
        const unsigned shift = pass == 0 ? 0 : lowBits;
        const unsigned width = pass == 0 ? lowBits : bits - lowBits;
        const std::size_t digits = std::size_t{1} << width;
        const auto digitOf = [&](const IndexItem& item) { return ((item.hash & mask) >> shift) & (digits - 1); };
        std::vector<std::size_t> starts(digits + 1, 0);
        for (const IndexItem& item : items)
            ++starts[digitOf(item) + 1];
        for (std::size_t d = 1; d <= digits; ++d)
            starts[d] += starts[d - 1];
        for (const IndexItem& item : items)
            sorted[starts[digitOf(item)]++] = item;
        items.swap(sorted);
    }
    std::vector<IndexItem>().swap(sorted);
    // A repeated key has the same hash, so the same home: it sits among the items just before.
    // It is looked for before the table is made, so that a dictionary to be folded never holds
    // a table it does not use.
    for (std::size_t k = 0; k < count; ++k) {
        const IndexItem& item = items[k];
        const std::size_t home = item.hash & mask;
        for (std::size_t j = k; j > 0 && (items[j - 1].hash & mask) == home; --j) {
            if (items[j - 1].hash == item.hash && keyOf(m_entries[items[j - 1].position]) == keyOf(m_entries[item.position]))
                return false;
        }
    }

    auto index = std::make_unique<Index>();
    index->slots.assign(slotCount, 0);
    std::vector<IndexItem> wrapped;
    std::size_t next = 0;  // every slot from an item's home up to here is taken
    for (const IndexItem& item : items) {
        const std::size_t slot = std::max(next, item.hash & mask);
        if (slot >= slotCount) {
            wrapped.push_back(item);
            continue;
        }
        index->slots[slot] = fingerprintOf(item.hash) | static_cast<std::uint64_t>(item.position + 1);
        next = slot + 1;
    }
    m_index = std::move(index);
    // The few that run past the end go round to the front, as a probe would find them.
    for (const IndexItem& item : wrapped)
        insertIntoIndex(item.position, item.hash);
    return true;
}

void PlistDictionary::foldRepeatedKeys(const std::vector<std::size_t>* hashes)
{
    // In place: each key keeps its first place and takes its last value, as set() would give it,
    // looked up in an index of the keys kept so far.
    const std::size_t count = m_entries.size();
    const bool hashed = hashes && hashes->size() == count;
    m_index = std::make_unique<Index>();
    m_index->slots.assign(static_cast<std::size_t>(slotCountFor(count)), 0);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t hash = hashed ? (*hashes)[i] : keyHash(keyOf(m_entries[i]));
        const std::size_t earlier = indexedPositionOf(keyOf(m_entries[i]), hash);
        if (earlier != kNotFound) {
            m_entries[earlier].value = std::move(m_entries[i].value);
            continue;
        }
        if (kept != i)
            m_entries[kept] = std::move(m_entries[i]);
        insertIntoIndex(kept, hash);
        ++kept;
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(kept), m_entries.end());
    if (kept <= kIndexedSize)
        m_index.reset();
}

std::uint64_t PlistDictionary::bytesToHold(std::uint64_t count)
{
    const std::uint64_t entries = count * sizeof(Entry);
    if (count <= kIndexedSize)
        return entries;
    return entries + count * sizeof(std::size_t) + sizeof(Index) + slotCountFor(count) * sizeof(std::uint64_t);
}

std::uint64_t PlistDictionary::bytesToBuild(std::uint64_t count)
{
    if (count <= kIndexedSize)
        return 0;
    // The items in two lists and the counts of one digit of their homes, while they are sorted;
    // then the items, and those that wrap round the end of the table, while it is filled.
    const unsigned bits = bitsOf(slotCountFor(count));
    const std::uint64_t digits = (std::uint64_t{1} << (bits - bits / 2)) + 1;
    return 2 * count * sizeof(IndexItem) + digits * sizeof(std::size_t);
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

std::size_t PlistDictionary::eraseKeys(const std::vector<std::string>& keys)
{
    std::vector<std::size_t> gone;
    for (const std::string& key : keys) {
        const std::size_t hash = keyHash(key);
        const std::size_t position = m_index ? indexedPositionOf(key, hash) : linearPositionOf(key, m_entries.size());
        if (position == kNotFound || std::find(gone.begin(), gone.end(), position) != gone.end())
            continue;
        if (m_index)
            eraseFromIndex(position, hash);
        gone.push_back(position);
    }
    if (gone.empty())
        return 0;
    std::sort(gone.begin(), gone.end());
    std::size_t kept = gone.front();
    for (std::size_t read = gone.front(), next = 0; read < m_entries.size(); ++read) {
        if (next < gone.size() && gone[next] == read)
            ++next;
        else
            m_entries[kept++] = std::move(m_entries[read]);
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(kept), m_entries.end());
    if (m_index && m_entries.size() <= kIndexedSize) {
        m_index.reset();
    } else if (m_index) {
        // Every position past a removed one moves down by the count of those before it.
        for (std::uint64_t& slot : m_index->slots) {
            if (slot == 0)
                continue;
            const std::size_t position = static_cast<std::size_t>(slot & 0xFFFFFFFFu) - 1;
            const auto before = static_cast<std::size_t>(std::lower_bound(gone.begin(), gone.end(), position) - gone.begin());
            slot -= before;
        }
    }
    return gone.size();
}

void PlistDictionary::eraseFromIndex(std::size_t position, std::size_t hash)
{
    std::vector<std::uint64_t>& slots = m_index->slots;
    const std::size_t mask = slots.size() - 1;
    std::size_t hole = hash & mask;
    while ((slots[hole] & 0xFFFFFFFFu) != position + 1)
        hole = (hole + 1) & mask;
    slots[hole] = 0;
    // The slots after the hole, up to an empty one, move into it when their home slot lies at or
    // before it, so that every probe from a home slot still meets its key before an empty slot.
    for (std::size_t slot = (hole + 1) & mask; slots[slot] != 0; slot = (slot + 1) & mask) {
        const std::size_t at = static_cast<std::size_t>(slots[slot] & 0xFFFFFFFFu) - 1;
        const std::size_t home = keyHash(keyOf(m_entries[at])) & mask;
        const bool homeAfterHole = hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
        if (homeAfterHole)
            continue;
        slots[hole] = slots[slot];
        slots[slot] = 0;
        hole = slot;
    }
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
        // Repeated keys are folded as set() folds them.
        if (!dict.indexInOrder(count, hashes))
            dict.foldRepeatedKeys(hashes);
        return dict;
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

}  // namespace platform
