#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripthelper {

/// The mounts of this process's namespace, as /proc/self/mountinfo lists them: for each, the
/// folder of its file system that it shows (its root) and where it shows it. A folder of one file
/// system may be shown at several places (bind mounts); a tree that is shown somewhere else as
/// well is in use there, whatever names lead to it.
class MountTable {
public:
    struct Mount {
        std::uint64_t id = 0;
        /// "MAJOR:MINOR" of the file system's device.
        std::string device;
        /// The folder of the file system shown, from the file system's own root.
        std::string root;
        std::string mountPoint;
        std::string options;
        std::string type;
        std::string source;
        std::string superOptions;
    };

    /// The table of the text of a mountinfo file; lines that do not read are left out.
    static MountTable parse(std::string_view text);
    /// The table of this process; none, with *error set, when it cannot be read.
    static std::optional<MountTable> load(std::string* error);

    const std::vector<Mount>& mounts() const { return m_mounts; }
    const Mount* byId(std::uint64_t id) const;

    /// Where else the folder at path (normalized, reached without a link, on the mount of that
    /// id) or anything inside it is shown: the mount point of the first other mount whose root
    /// is that folder of the same file system or lies inside it. None when there is none, or
    /// when the mount of that id is not listed.
    std::optional<std::string> shownElsewhere(std::uint64_t mountId, const std::string& path) const;

private:
    std::vector<Mount> m_mounts;
};

}  // namespace scripthelper
