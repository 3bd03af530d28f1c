#pragma once

#include "UnInstaller/resources/ScriptHelper/QuickSieve.h"
#include "platform/foundation/KeyHash.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace scripthelper {

/// The registered install paths of a set of modules (those that stay, or those not yet gone),
/// counted for the questions a run asks about the modules it removes: how many lie at or inside
/// each one's install path or folder (inside()), how many are its install path (at()), and whether
/// one is its folder or a folder above that (holds()). Only those paths are counted, and of a path
/// added only the parts at their depths are looked up, so that a module costs a few look-ups
/// whatever the depth of its path and however many modules there are. Questions about other paths
/// answer 0 and false.
class StayingModules {
public:
    /// For the questions about the modules at these install paths (absolute, free of "." and "..").
    explicit StayingModules(const std::vector<std::string>& asked);

    /// Adds delta to the counts of the install path; true when the path itself is counted.
    bool add(const std::string& installPath, int delta);
    /// How many install paths lie at or inside folder.
    int inside(const std::string& folder) const;
    /// How many install paths equal path.
    int at(const std::string& path) const;
    /// Whether an install path is path or holds it.
    bool holds(const std::string& path) const;

private:
    /// The paths asked about, and a sieve that lets most other paths pass without a look-up.
    struct Counts {
        std::unordered_map<std::string, int, platform::KeyHasher, std::equal_to<>> map;
        QuickSieve sieve;
    };

    std::string_view ask(Counts& counts, std::vector<bool>& depths, std::string_view path);
    static bool count(Counts& counts, const std::vector<bool>& depths, std::string_view path, std::size_t depth,
                      int delta);
    static int countOf(const Counts& counts, std::string_view path);

    Counts m_holding;
    Counts m_installed;
    std::vector<bool> m_holdingDepths;
    std::vector<bool> m_installedDepths;
    /// The depths at which an install path was ever counted, the only ones holds() looks at.
    std::vector<bool> m_countedDepths;
};

}  // namespace scripthelper
