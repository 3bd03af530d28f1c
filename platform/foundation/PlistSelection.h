#pragma once

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
///         PlistSelection::none().key("Name")));
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

    bool keepsEverything() const { return m_everything; }
    /// How the value under key of a dictionary read with this selection is read; null when the
    /// entry is dropped.
    const PlistSelection* below(std::string_view key) const;

private:
    bool m_everything = true;
    std::vector<std::pair<std::string, PlistSelection>> m_keys;
    std::vector<PlistSelection> m_otherKeys;  // at most one
};

}  // namespace platform
