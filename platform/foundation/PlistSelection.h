#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

/// Which entries of a document's dictionaries a read builds. A read with a selection checks the
/// whole document exactly as a full read does, so it accepts and refuses the same files, but
/// values that the selection drops are never built: a caller that needs a few fields of a large
/// file pays for those alone. A selection governs dictionaries only: an array's elements are
/// read with the array's own selection, and a leaf is kept wherever it is reached.
///
///     PlistSelection::none().key("Modules", PlistSelection::none().anyOtherKey(
///         PlistSelection::none().key("Name").keepIf(hasAName)));
class PlistValue;

class PlistSelection {
public:
    /// Keeps everything below.
    PlistSelection() = default;
    /// A selection that keeps everything, for readers given none.
    static const PlistSelection& everything();
    /// Keeps no dictionary entry until key() or anyOtherKey() names some.
    static PlistSelection none();

    /// Keeps the entry name, its value read with below (everything, when not given).
    PlistSelection& key(std::string name, PlistSelection below);
    PlistSelection& key(std::string name) { return key(std::move(name), everything()); }
    /// Keeps every entry that key() does not name, each value read with below.
    PlistSelection& anyOtherKey(PlistSelection below);

    /// Keeps a dictionary entry or array element read with this selection only when test answers
    /// true for its value as read (with what the selection drops already left out); a dropped
    /// one leaves no trace. An array's elements are
    /// read with the array's own selection, so the test sees the array and each element alike.
    PlistSelection& keepIf(std::function<bool(const PlistValue&)> test);

    /// Keeps the elements of no array read with this selection: where a dictionary is expected,
    /// an array stands for nothing, and is kept empty (its elements checked, never built).
    PlistSelection& onlyDictionaries()
    {
        m_arrayElements = false;
        return *this;
    }
    /// Whether an array read with this selection keeps its elements.
    bool keepsArrayElements() const { return m_arrayElements; }

    /// Whether a value read with this selection is kept.
    bool keeps(const PlistValue& value) const { return !m_test || m_test(value); }
    /// How many entries of a dictionary of count entries this selection may keep.
    std::size_t keptAtMost(std::size_t count) const
    {
        return m_everything || !m_otherKeys.empty() || m_keys.size() > count ? count : m_keys.size();
    }
    /// How the value under key of a dictionary read with this selection is read; null when the
    /// entry is dropped.
    const PlistSelection* below(std::string_view key) const;

private:
    bool m_everything = true;
    bool m_arrayElements = true;
    std::vector<std::pair<std::string, PlistSelection>> m_keys;
    std::vector<PlistSelection> m_otherKeys;  // at most one
    std::function<bool(const PlistValue&)> m_test;
};

}  // namespace platform
