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

    /// One change an install makes, journalled before it is made, so that an interrupted install is
    /// finished (its module registered with the record's token) or undone (not registered).
    struct InstallStep {
        enum class Kind : char {
            /// path is put in place from staging (a name in the same folder); an earlier item at
            /// path (existed) is first renamed to hold.
            Placed = 'f',
            /// path is a folder the install creates.
            Folder = 'd',
            /// path, an older copy of the print plug-in, is renamed to hold and deleted.
            OldCopy = 'o',
        };
        Kind kind = Kind::Placed;
        /// The user whose rights do the step.
        unsigned long owner = 0;
        /// Done for the user who asked, not by the system side inside the module folders.
        bool userSide = false;
        std::string path;
        std::string staging;
        std::string hold;
        bool existed = false;
    };
    struct InstallRecord {
        std::string id;
        std::string token;
        std::vector<InstallStep> steps;
    };

    /// Takes the lock in folder (the registry's folder, already walked and judged), waiting at
    /// most waitMs for another run to let go. None with *error set, and *busy true when another
    /// run held the lock throughout.
    static std::optional<RemovalJournal> lock(UniqueFd folder, const std::string& folderPath,
                                              const std::string& registryName, int waitMs, std::string* error,
                                              bool* busy);
    /// As lock(), for the registry file at registryFile: its folder is walked and judged first (a
    /// folder that does not pass is named in *error as the registry's).
    static std::optional<RemovalJournal> lockRegistry(const std::string& registryFile, int waitMs, std::string* error,
                                                      bool* busy);

    /// The records of an earlier run that did not finish; a torn last line is left out.
    std::vector<Record> pending(std::string* error) const;

    /// The install records of an earlier run that did not finish.
    std::vector<InstallRecord> pendingInstalls(std::string* error) const;

    /// Appends records and syncs them to disk; false with *error set. A torn last line that an
    /// interrupted append left is closed first, so that it never swallows a new record.
    bool append(const std::vector<Record>& records, std::string* error);
    bool appendInstall(const InstallRecord& record, std::string* error);

    /// Removes the journal; false with *error set.
    bool discard(std::string* error);

    /// Removes the temporary files a registry writer left behind when it was interrupted; answers
    /// their names.
    std::vector<std::string> removeStrayTemporaries();

    /// How every holding name starts.
    static constexpr const char* kHoldPrefix = ".plugsweep-removing-";

    /// The holding name for a module leaving from a folder: hidden, and unique in that folder.
    static std::string holdNameFor(std::string_view id, std::size_t serial);

    static std::string encodeRecord(const Record& record);
    static std::optional<Record> decodeRecord(std::string_view line);
    static std::string encodeInstallRecord(const InstallRecord& record);
    static std::optional<InstallRecord> decodeInstallRecord(std::string_view line);

private:
    RemovalJournal() = default;
    /// The journal's complete lines; none (and *error unset) when there is no journal.
    std::optional<std::vector<std::string>> lines(std::string* error) const;
    bool appendText(std::string text, std::string* error);

    UniqueFd m_folder;
    UniqueFd m_lock;
    std::string m_folderPath;
    std::string m_registryName;
    std::string m_journalName;
};

}  // namespace scripthelper
