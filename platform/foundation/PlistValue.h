#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class PlistValue;
class PlistDictionary;

using PlistArray = std::vector<PlistValue>;

/// Seconds since 2001-01-01 00:00:00 UTC, the platform's reference date.
struct PlistDate {
    double secondsSinceReference = 0;
    bool operator==(const PlistDate&) const = default;
};

/// Raw bytes of a <data> value.
struct PlistData {
    std::vector<std::uint8_t> bytes;
    bool operator==(const PlistData&) const = default;
};

/// A dictionary with string keys that keeps the order in which keys were first added.
/// Lookups answer null when a key is absent or its value is of another type. The entries sit in
/// one flat vector that small dictionaries search in order; a dictionary of more than
/// kIndexedSize keys also keeps a hash index of positions, looked up with the key's own bytes.
class PlistDictionary {
public:
    struct Entry;

    PlistDictionary();
    PlistDictionary(const PlistDictionary&);
    PlistDictionary(PlistDictionary&&) noexcept;
    PlistDictionary& operator=(const PlistDictionary&);
    PlistDictionary& operator=(PlistDictionary&&) noexcept;
    ~PlistDictionary();

    /// Dictionaries of more keys than this keep a hash index.
    static constexpr std::size_t kIndexedSize = 16;

    std::size_t size() const;
    bool empty() const;

    /// The key at index, in insertion order.
    const std::string& keyAt(std::size_t index) const;
    /// The key at index as a value, which the dictionary's copies of it share.
    const PlistValue& keyValueAt(std::size_t index) const;
    /// A copy of the keys in insertion order.
    std::vector<std::string> keys() const;
    const PlistValue& valueAt(std::size_t index) const;
    PlistValue& valueAt(std::size_t index);

    const PlistValue* find(std::string_view key) const;
    PlistValue* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }

    const std::string* stringForKey(std::string_view key) const;
    const PlistArray* arrayForKey(std::string_view key) const;
    const PlistDictionary* dictionaryForKey(std::string_view key) const;

    /// Replaces the value of an existing key in place, or appends a new key.
    void set(std::string key, PlistValue value);
    /// Makes room for count keys, so that adding them allocates nothing more.
    void reserve(std::size_t count);
    /// Sets every entry of other in turn; keys already present keep their place.
    void addEntriesFromDictionary(const PlistDictionary& other);
    /// Removes a key; answers whether it was present.
    bool erase(std::string_view key);
    /// Removes each of keys that is present, in one pass over the entries and with the index
    /// mended where they were rather than made again; answers how many went.
    std::size_t eraseKeys(const std::vector<std::string>& keys);
    void clear();

    /// A dictionary of the entries, which are moved out and leave the vector empty with its
    /// room kept for the next use. The dictionary holds them at their exact size. A key given
    /// twice keeps its first place and its last value, as set() would.
    /// hashes, when given, holds platform::keyHash() of each entry's key, taken while the keys
    /// were at hand, and is emptied as well. dropped, when given, lists in ascending order the
    /// positions of entries whose value a reader's selection left out: such an entry is its
    /// key's value all the same, so a key whose last value was dropped is not in the dictionary,
    /// whatever came before it. One key thus has one answer, the last, in every read.
    static PlistDictionary takeEntries(std::vector<Entry>& entries, std::vector<std::size_t>* hashes = nullptr,
                                       const std::vector<std::size_t>* dropped = nullptr);

    /// Equal when both hold the same keys with equal values, whatever their order. Values that
    /// both sides share are compared once, however often they occur.
    bool operator==(const PlistDictionary& other) const;

    /// What a reader's dictionary of count entries, given to takeEntries() with one hash per
    /// entry, holds at most from its first entry on: the entries, their hashes and the index.
    static std::uint64_t bytesToHold(std::uint64_t count);
    /// What takeEntries() takes at most for a while, beyond bytesToHold(), while it makes the
    /// index of count entries. A reader charges both before it reads the entries.
    static std::uint64_t bytesToBuild(std::uint64_t count);

private:
    friend class PlistValue;
    struct Index;
    // The pairs of shared blocks that one comparison of two trees has found equal.
    struct Comparison;
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    bool equals(const PlistDictionary& other, Comparison& comparison) const;
    void foldRepeatedKeys(const std::vector<std::size_t>* hashes);

    void setEntry(Entry entry);
    std::size_t positionOf(std::string_view key) const;
    std::size_t indexedPositionOf(std::string_view key, std::size_t hash) const;
    std::size_t linearPositionOf(std::string_view key, std::size_t end) const;
    void insertIntoIndex(std::size_t position, std::size_t hash);
    void eraseFromIndex(std::size_t position, std::size_t hash);
    void rebuildIndex(std::size_t keyCount);
    bool indexInOrder(std::size_t keyCount, const std::vector<std::size_t>* hashes = nullptr);

    std::vector<Entry> m_entries;
    // Open addressing over a power-of-two table of slots that hold a position and bits of its
    // key's hash, so that a probe seldom has to look at a key.
    std::unique_ptr<Index> m_index;
};

/// One property-list value: string, integer, real, boolean, date, data, array or dictionary.
///
/// A value is 16 bytes (12 on 32-bit machines): numbers, booleans and dates are held inline, a
/// string, data, array or dictionary in a heap block that copies share. The block is copied only
/// when a shared value is changed through asArray() or asDictionary(); a block once handed out
/// that way is never shared again, so that a pointer into it cannot change another copy. Shared
/// blocks are counted atomically: copies of one value may live on different threads.
class PlistValue {
public:
    enum class Type { String, Integer, Real, Boolean, Date, Data, Array, Dictionary };

    PlistValue() noexcept : m_tag(Tag::String), m_box(nullptr) {}
    PlistValue(std::string s);
    PlistValue(const char* s) : PlistValue(std::string(s)) {}
    PlistValue(std::int64_t i) noexcept : m_tag(Tag::Integer), m_integer(i) {}
    /// Values up to INT64_MAX are held as signed integers, larger ones as unsigned.
    PlistValue(std::uint64_t u) noexcept;
    PlistValue(int i) noexcept : m_tag(Tag::Integer), m_integer(i) {}
    PlistValue(double d) noexcept : m_tag(Tag::Real), m_real(d) {}
    PlistValue(bool b) noexcept : m_tag(Tag::Boolean), m_boolean(b) {}
    PlistValue(PlistDate d) noexcept : m_tag(Tag::Date), m_date(d) {}
    PlistValue(PlistData d);
    PlistValue(PlistArray a);
    PlistValue(PlistDictionary d);

    PlistValue(const PlistValue& other);
    PlistValue(PlistValue&& other) noexcept : m_tag(other.m_tag), m_unsigned(other.m_unsigned)
    {
        other.m_tag = Tag::String;
        other.m_box = nullptr;
    }
    PlistValue& operator=(const PlistValue& other);
    PlistValue& operator=(PlistValue&& other) noexcept;
    // Values held inline and values moved from, most of those a tree's building leaves, are
    // passed over here.
    ~PlistValue()
    {
        if (isBoxed() && m_box)
            release();
    }

    Type type() const { return m_tag == Tag::Unsigned ? Type::Integer : static_cast<Type>(m_tag); }

    const std::string* asString() const;
    /// An integer from INT64_MIN to INT64_MAX; null for larger integers, which asUnsignedInteger answers.
    const std::int64_t* asInteger() const { return m_tag == Tag::Integer ? &m_integer : nullptr; }
    /// An integer above INT64_MAX (up to UINT64_MAX); null for every other value.
    const std::uint64_t* asUnsignedInteger() const { return m_tag == Tag::Unsigned ? &m_unsigned : nullptr; }
    const double* asReal() const { return m_tag == Tag::Real ? &m_real : nullptr; }
    const bool* asBoolean() const { return m_tag == Tag::Boolean ? &m_boolean : nullptr; }
    const PlistDate* asDate() const { return m_tag == Tag::Date ? &m_date : nullptr; }
    const PlistData* asData() const;
    const PlistArray* asArray() const;
    /// The array to change, copied first when other values share it.
    PlistArray* asArray();
    const PlistDictionary* asDictionary() const;
    /// The dictionary to change, copied first when other values share it.
    PlistDictionary* asDictionary();

    /// Whether both are one value shared, not merely equal ones.
    bool sharesWith(const PlistValue& other) const { return m_tag == other.m_tag && isBoxed() && m_box && m_box == other.m_box; }
    /// Whether other values share this one's heap block, so that a walk may meet it again.
    bool isShared() const;

    /// Equal values, compared shared block by shared block: a block that both sides share is
    /// equal at once, and a pair of blocks found equal is not compared again, so a tree whose
    /// parts are shared many times over compares in time of its blocks, not of its paths.
    bool operator==(const PlistValue& other) const;

    /// The heap block a string, data, array or dictionary of this type takes apart from what
    /// it holds (its bytes, elements or entries); 0 for the types held inline.
    static std::size_t blockBytes(Type type);

private:
    friend class PlistDictionary;
    enum class Tag : std::uint8_t { String, Integer, Real, Boolean, Date, Data, Array, Dictionary, Unsigned };
    struct Box;
    template <class T>
    struct BoxOf;

    bool equals(const PlistValue& other, PlistDictionary::Comparison& comparison) const;

    bool isBoxed() const
    {
        return m_tag == Tag::String || m_tag == Tag::Data || m_tag == Tag::Array || m_tag == Tag::Dictionary;
    }
    void release() noexcept;
    Box* unshared();

    Tag m_tag;
    union {
        std::int64_t m_integer;
        std::uint64_t m_unsigned;
        double m_real;
        bool m_boolean;
        PlistDate m_date;
        Box* m_box;  // null for the empty string
    };
};

struct PlistDictionary::Entry {
    /// Always a string; a value so that a key read many times from one place is held once.
    PlistValue key;
    PlistValue value;
};

inline std::size_t PlistDictionary::size() const
{
    return m_entries.size();
}

inline bool PlistDictionary::empty() const
{
    return m_entries.empty();
}

}  // namespace platform
