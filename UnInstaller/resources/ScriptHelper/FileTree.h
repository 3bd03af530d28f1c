#pragma once

#include "UnInstaller/resources/ScriptHelper/UniqueFd.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

struct stat;

namespace scripthelper {

/// File-system work that never follows a symbolic link: every path is walked one component at
/// a time from "/" with O_NOFOLLOW, and trees are removed relative to open folders, so that no
/// link, whether on the path or inside the tree, leads the work anywhere else. Paths must have
/// passed PathPolicy::syntaxProblem.
class FileTree {
public:
    /// A file's identity: its device and inode numbers.
    struct FileId {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        auto operator<=>(const FileId&) const = default;
    };

    /// Judges one folder on a walked path; answers why it is not acceptable, or none.
    using FolderCheck = std::function<std::optional<std::string>(const struct stat& folder, const std::string& path)>;

    /// The open parent folder of a walked path and the path's last component.
    struct Walk {
        UniqueFd parent;
        std::string name;
        bool missing = false;
        std::optional<std::string> problem;
    };

    /// Opens every folder of path but the last component, refusing any that is a symbolic link;
    /// check, when given, judges each folder from "/" down to the parent.
    static Walk walkToParent(const std::string& path, const FolderCheck& check = {});

    /// What inspect() found.
    struct Inspection {
        bool missing = false;
        std::optional<std::string> problem;
    };

    /// Checks, without changing anything, that path can be removed: no symbolic link on the way or
    /// as the path itself, no mount point at or inside it, and none of the foreign files inside it.
    static Inspection inspect(const std::string& path, const std::set<FileId>& foreign);

    enum class Outcome { Removed, Missing, Failed };

    /// Removes the file or folder tree at path: symbolic links inside are removed as links,
    /// nothing on another file system is entered. Stops at the first failure, set in *error.
    static Outcome remove(const std::string& path, std::string* error);

    /// Renames the file or folder at path to holdName in the same folder, after the checks of
    /// remove(); the rename never replaces anything. Removed when it was moved.
    static Outcome moveAside(const std::string& path, const std::string& holdName, std::string* error);

    /// Removes what moveAside() moved from path to holdName; Missing when nothing is held there.
    static Outcome removeHeld(const std::string& path, const std::string& holdName, std::string* error);

    /// Whether anything (a link included) is at path, reached without following a link; none
    /// when the path cannot be walked (a link or a file on the way).
    static std::optional<bool> exists(const std::string& path);

    /// Called after each step that changes the disk (a rename, an unlink, a folder removed).
    static void setStepHook(void (*hook)());

    /// Removes the folder at path when it is empty; true when it was removed.
    static bool removeFolderIfEmpty(const std::string& path);

    /// True when the folder at path holds the one entry name and nothing else.
    static bool holdsOnly(const std::string& path, const std::string& name);

    /// The identity of what path leads to, following links; none when it does not exist.
    static std::optional<FileId> identity(const std::string& path);

    /// Reads the whole of an open regular file of at most maxBytes bytes.
    static std::optional<std::string> readAll(int fd, std::size_t maxBytes);
};

}  // namespace scripthelper
