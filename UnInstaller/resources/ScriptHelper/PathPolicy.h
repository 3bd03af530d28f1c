#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripthelper {

/// Which paths ScriptHelper may remove, judged on the path's text: absolute, free of "." and "..",
/// of NUL and of control characters, and strictly inside one of the folders where modules may live
/// (an allow-list that the build sets, each resolved under the machine root).
class PathPolicy {
public:
    /// Allows what lies inside each of moduleFolders ("/Library/..." paths) under machineRoot.
    PathPolicy(const std::string& machineRoot, const std::vector<std::string>& moduleFolders);

    /// The folders where modules may live, as the build sets them (SCRIPTHELPER_MODULE_FOLDERS, joined by ":").
    static std::vector<std::string> builtModuleFolders();

    /// The path's components, empty ones (from "//" or a trailing "/") left out.
    static std::vector<std::string> components(std::string_view path);
    /// The path with repeated and trailing "/" removed; "/" stays "/".
    static std::string normalized(std::string_view path);
    /// Why the path's text is unusable ("is empty", "holds a NUL or control character", "is the
    /// root folder", "is not an absolute path", "has a \".\" or \"..\" component"), or none.
    static std::optional<std::string> syntaxProblem(std::string_view path);
    /// True when path is folder or lies inside it, compared component by component.
    static bool isInsideOrSame(std::string_view path, std::string_view folder);

    /// Whether the text holds NUL, a C0 or C1 control character or DEL (C1 as UTF-8 or as a
    /// lone byte).
    static bool holdsControlCharacter(std::string_view text);
    /// One character of a text: its length in bytes and whether it is a control character.
    struct Character {
        std::size_t length = 1;
        bool control = false;
    };
    /// The character starting at text[i] (i < text.size()).
    static Character characterAt(std::string_view text, std::size_t i);

    /// Why path may not be removed: it is not strictly inside a folder where modules may live.
    std::optional<std::string> placeProblem(std::string_view path) const;

    /// True when path is strictly inside a folder where modules may live.
    bool isInsideModuleFolder(std::string_view path) const { return !placeProblem(path); }

    const std::vector<std::string>& moduleFolders() const { return m_allowed; }

private:
    std::vector<std::string> m_allowed;
};

}  // namespace scripthelper
