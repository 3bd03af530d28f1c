#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripthelper {

/// Which paths ScriptHelper may remove, judged on the path's text: absolute, free of "." and "..",
/// and neither a protected folder (the system's folders, each also under the machine root, and
/// the user's home, Library and Preferences folders) nor a folder holding one.
class PathPolicy {
public:
    /// Protects the system folders as they stand and under machineRoot, and the home folder's.
    PathPolicy(const std::string& machineRoot, const std::string& homeFolder);

    /// The path's components, empty ones (from "//" or a trailing "/") left out.
    static std::vector<std::string> components(std::string_view path);
    /// The path with repeated and trailing "/" removed; "/" stays "/".
    static std::string normalized(std::string_view path);
    /// Why the path's text is unusable ("is empty", "is the root folder", "is not an absolute
    /// path", "has a \".\" or \"..\" component"), or none.
    static std::optional<std::string> syntaxProblem(std::string_view path);
    /// True when path is folder or lies inside it, compared component by component.
    static bool isInsideOrSame(std::string_view path, std::string_view folder);

    /// Why removing path would remove a protected folder, or none.
    std::optional<std::string> protectedProblem(std::string_view path) const;

    const std::vector<std::string>& protectedFolders() const { return m_protected; }

private:
    std::vector<std::string> m_protected;
};

}  // namespace scripthelper
