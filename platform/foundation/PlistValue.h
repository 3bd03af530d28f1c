#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
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
    void clear();

    /// A dictionary of the entries, which are moved out and leave the vector empty with its
    /// room kept for the next use. The dictionary holds them at their exact size. A key given
    /// twice keeps its first place and its last value, as set() would.
    /// hashes, when given, holds platform::keyHash() of each entry's key, taken while the keys
    /// were at hand, and is emptied as well.
    static PlistDictionary takeEntries(std::vector<Entry>& entries, std::vector<std::size_t>* hashes = nullptr);

    /// Equal when both hold the same keys with equal values, whatever their order.
    bool operator==(const PlistDictionary& other) const;

private:
    struct Index;
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    std::size_t positionOf(std::string_view key) const;
    std::size_t indexedPositionOf(std::string_view key, std::size_t hash) const;
    std::size_t linearPositionOf(std::string_view key, std::size_t end) const;
    void insertIntoIndex(std::size_t position, std::size_t hash);
    void rebuildIndex(std::size_t keyCount);
    bool indexInOrder(std::size_t keyCount, const std::vector<std::size_t>* hashes = nullptr);

    std::vector<Entry> m_entries;
    // Open addressing over a power-of-two table of slots that hold a position and bits of its
    // key's hash, so that a probe seldom has to look at a key.
    std::unique_ptr<Index> m_index;
};

/// One property-list value: string, integer, real, boolean, date, data, array or dictionary.
class PlistValue {
public:
    enum class Type { String, Integer, Real, Boolean, Date, Data, Array, Dictionary };

    PlistValue() : m_value(std::string()) {}
    PlistValue(std::string s) : m_value(std::move(s)) {}
    PlistValue(const char* s) : m_value(std::string(s)) {}
    PlistValue(std::int64_t i) : m_value(i) {}
    /// Values up to INT64_MAX are held as signed integers, larger ones as unsigned.
    PlistValue(std::uint64_t u);
    PlistValue(int i) : m_value(static_cast<std::int64_t>(i)) {}
    PlistValue(double d) : m_value(d) {}
    PlistValue(bool b) : m_value(b) {}
    PlistValue(PlistDate d) : m_value(d) {}
    PlistValue(PlistData d) : m_value(std::move(d)) {}
    PlistValue(PlistArray a) : m_value(std::move(a)) {}
    PlistValue(PlistDictionary d) : m_value(std::move(d)) {}

    Type type() const
    {
        return m_value.index() == kUnsignedIndex ? Type::Integer : static_cast<Type>(m_value.index());
    }

    const std::string* asString() const { return std::get_if<std::string>(&m_value); }
    /// An integer from INT64_MIN to INT64_MAX; null for larger integers, which asUnsignedInteger answers.
    const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&m_value); }
    /// An integer above INT64_MAX (up to UINT64_MAX); null for every other value.
    const std::uint64_t* asUnsignedInteger() const { return std::get_if<std::uint64_t>(&m_value); }
    const double* asReal() const { return std::get_if<double>(&m_value); }
    const bool* asBoolean() const { return std::get_if<bool>(&m_value); }
    const PlistDate* asDate() const { return std::get_if<PlistDate>(&m_value); }
    const PlistData* asData() const { return std::get_if<PlistData>(&m_value); }
    const PlistArray* asArray() const { return std::get_if<PlistArray>(&m_value); }
    PlistArray* asArray() { return std::get_if<PlistArray>(&m_value); }
    const PlistDictionary* asDictionary() const { return std::get_if<PlistDictionary>(&m_value); }
    PlistDictionary* asDictionary() { return std::get_if<PlistDictionary>(&m_value); }

    bool operator==(const PlistValue& other) const { return m_value == other.m_value; }

private:
    static constexpr std::size_t kUnsignedIndex = 8;

    std::variant<std::string, std::int64_t, double, bool, PlistDate, PlistData, PlistArray, PlistDictionary,
                 std::uint64_t>
        m_value;
};

struct PlistDictionary::Entry {
    std::string key;
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
