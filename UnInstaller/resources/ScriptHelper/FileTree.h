#pragma once

#include "UnInstaller/resources/ScriptHelper/MountTable.h"
#include "UnInstaller/resources/ScriptHelper/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct stat;

namespace scripthelper {

/// File-system work that never follows a symbolic link: every path is walked one component at
/// a time from "/" with O_NOFOLLOW, and trees are removed relative to open folders, so that no
/// link, whether on the path or inside the tree, leads the work anywhere else. Paths must have
/// passed PathPolicy::syntaxProblem.
class FileTree {
public:
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

    /// What Session::inspect() found.
    struct Inspection {
        bool missing = false;
        std::optional<std::string> problem;
    };

    enum class Outcome { Removed, Missing, Failed };

    /// Removes what Session::moveAside() moved from path to holdName, with the checks of moveAside():
    /// symbolic links inside are removed as links, nothing on another file system or mount is
    /// entered, and it stops at the first failure, set in *error. Missing when nothing is held there.
    static Outcome removeHeld(const std::string& path, const std::string& holdName, std::string* error);

    /// Whether anything (a link included) is at path, reached without following a link; none
    /// when the path cannot be walked (a link or a file on the way).
    static std::optional<bool> exists(const std::string& path);

    /// Called after each step that changes the disk (a rename, an unlink, a folder removed).
    static void setStepHook(void (*hook)());

    /// Reads the whole of an open regular file of at most maxBytes bytes.
    static std::optional<std::string> readAll(int fd, std::size_t maxBytes);

    class Session;

    /// One path that a Session removes: examined once, then renamed aside and deleted through the
    /// folder that holds it, kept open from the examination until the path is deleted.
    class Target {
    public:
        Target() = default;
        explicit Target(const std::string& path);

        /// The path, normalized.
        const std::string& path() const { return m_path; }

    private:
        friend class Session;
        std::string m_path;
        std::vector<std::string> m_parts;
        std::optional<std::string> m_problem;
        UniqueFd m_folder;
        std::uint64_t m_folderDevice = 0;
        std::uint64_t m_folderMount = 0;
    };

private:
    /// Opens the folder name in folder (shown as path) for a walk, never through a link; on
    /// failure sets in walk why: missing, a link, not a folder.
    static UniqueFd stepInto(int folder, const std::string& name, const std::string& shown, Walk* walk);
};

/// Many paths worked on in turn, as one removal run does. The folders above the last path walked
/// stay open, so that paths that share folders (all the modules of one module folder) open each
/// only once, and each Target keeps its own folder open while the process may hold that many
/// descriptors; past that, its folder is walked to again when it is needed.
class FileTree::Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// Checks, without changing anything, that the target can be removed: no symbolic link on the
    /// way or as the path itself, no mount point at or inside it, and no other mount that shows it
    /// or a folder inside it.
    Inspection inspect(Target& target);

    /// Renames the target to holdName in its folder, after checking that it is a folder or a file
    /// on its folder's own mount and not a link; the rename never replaces anything. Removed when
    /// it was moved; otherwise the target's folder is let go.
    Outcome moveAside(Target& target, const std::string& holdName, std::string* error);

    /// As FileTree::removeHeld() for the target's path, through its folder, which is then let go.
    Outcome removeHeld(Target& target, const std::string& holdName, std::string* error);

    /// Removes the folder holding the target when it is empty, and lets the target's folder go;
    /// true when it was removed.
    bool removeFolderIfEmpty(Target& target);

    /// True when the folder holding the target holds its entry and nothing else; the folder is then
    /// let go.
    bool holdsOnly(Target& target);

private:
    struct Level {
        std::string name;
        UniqueFd fd;
    };

    /// The open folder holding the first count components of parts, walked from the deepest
    /// folder already open; -1 with walk's missing or problem set when it cannot be reached.
    int folderOf(const std::vector<std::string>& parts, std::size_t count, Walk* walk);
    /// The target's folder, opened again when it was let go; -1 with walk's missing or problem set
    /// when it cannot be.
    int folderOf(Target& target, Walk* walk);
    /// Whether one more folder may stay open, raising the process's soft limit when it can.
    bool mayHoldAnother();
    void letGo(Target& target);

    std::vector<Level> m_open;
    /// Read at the first inspection.
    std::optional<MountTable> m_mounts;
    std::size_t m_held = 0;
    std::size_t m_holdLimit = 0;
};

}  // namespace scripthelper
