#pragma once

#include "UnInstaller/resources/ScriptHelper/UniqueFd.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripthelper {

/// The lock and the journal of removal runs, two files beside the registry.
///
/// The lock ("." + registry name + ".lock") is held with flock from before the registry is read
/// until the run ends, so that runs never overlap. The journal ("." + registry name + ".journal")
/// lists, before any module folder is touched, each module that is about to go: its identifier,
/// its install path and the holding name in the same folder that the install path is renamed to
/// before it is deleted. It is appended to and synced before the renames, and discarded only
/// once the registry that no longer lists those modules has been written. A run that finds a
/// journal finishes what it lists first.
class RemovalJournal {
public:
    struct Record {
        std::string id;
        /// The install path, normalized.
        std::string installPath;
        /// The name, inside the install path's folder, that the module is renamed to.
        std::string holdName;
    };

    /// Takes the lock in folder (the registry's folder, already walked and judged), waiting at
    /// most waitMs for another run to let go. None with *error set, and *busy true when another
    /// run held the lock throughout.
    static std::optional<RemovalJournal> lock(UniqueFd folder, const std::string& folderPath,
                                              const std::string& registryName, int waitMs, std::string* error,
                                              bool* busy);

    /// The records of an earlier run that did not finish; a torn last line is left out.
    std::vector<Record> pending(std::string* error) const;

    /// Appends records and syncs them to disk; false with *error set.
    bool append(const std::vector<Record>& records, std::string* error);

    /// Removes the journal; false with *error set.
    bool discard(std::string* error);

    /// Removes the temporary files a registry writer left behind when it was interrupted; answers
    /// their names.
    std::vector<std::string> removeStrayTemporaries();

    /// The holding name for a module leaving from a folder: hidden, and unique in that folder.
    static std::string holdNameFor(std::string_view id, std::size_t serial);

    static std::string encodeRecord(const Record& record);
    static std::optional<Record> decodeRecord(std::string_view line);

private:
    RemovalJournal() = default;

    UniqueFd m_folder;
    UniqueFd m_lock;
    std::string m_folderPath;
    std::string m_registryName;
    std::string m_journalName;
};

}  // namespace scripthelper
