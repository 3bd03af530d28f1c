#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripthelper {

/// The uninstall plan the user's uninstaller wrote ("UnInstallApps": entries with "PKG", "UUID"
/// and "UnInstallPath"). Nothing in it is trusted: it only names the modules to look up.
class UninstallPlan {
public:
    struct Entry {
        /// None when absent or not a string.
        std::optional<std::string> uuid;
        std::optional<std::string> unInstallPath;
    };

    /// Reads the plan name in homeFolder's Library/Preferences, opening Library, Preferences and
    /// the plan one by one without following a symbolic link: a regular file of either
    /// property-list form. When running as root the two folders and the plan must belong to root or
    /// to requiredOwner (the home folder's owner). None with *error set otherwise.
    /// A plan listing more than maxEntries entries reads with listed() telling how many and no
    /// entries built, so that its size is known before it costs memory.
    static std::optional<UninstallPlan> load(const std::string& homeFolder, const std::string& name,
                                             std::optional<unsigned long> requiredOwner, std::string* error,
                                             std::size_t maxEntries = static_cast<std::size_t>(-1));

    /// The bytes of the plan file name in homeFolder's Library/Preferences, reached and checked as
    /// load() does; none with *error set.
    static std::optional<std::string> readPlanFile(const std::string& homeFolder, const std::string& name,
                                                   std::optional<unsigned long> requiredOwner, std::string* error);

    /// Reads a plan from the bytes of a property list of either form; none with *error set
    /// unless its root is a dictionary holding an "UnInstallApps" list.
    /// Only the entries' UUID and UnInstallPath are built, and no entry at all when the list
    /// holds more than maxEntries.
    static std::optional<UninstallPlan> fromBytes(std::string_view bytes, std::string* error,
                                                  std::size_t maxEntries = static_cast<std::size_t>(-1));

    const std::vector<Entry>& entries() const { return m_entries; }
    /// How many entries the plan lists, built or not.
    std::size_t listed() const { return m_listed; }

private:
    std::vector<Entry> m_entries;
    std::size_t m_listed = 0;
};

}  // namespace scripthelper
