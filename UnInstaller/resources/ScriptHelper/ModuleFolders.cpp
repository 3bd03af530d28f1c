#include "UnInstaller/resources/ScriptHelper/ModuleFolders.h"

#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/SearchPaths.h"
#include "platform/foundation/TestSeams.h"

#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

namespace {

constexpr std::size_t kMaxSettingBytes = 64 * 1024;

/// Folders whose whole content no setting may hand over to removal.
constexpr const char* kSystemFolders[] = {"/bin", "/boot", "/dev", "/etc", "/home", "/lib", "/lib32", "/lib64",
                                          "/Library", "/opt", "/proc", "/root", "/run", "/sbin", "/srv", "/sys",
                                          "/tmp", "/usr", "/usr/bin", "/usr/lib", "/usr/local", "/usr/share",
                                          "/var", "/var/lib"};

/// Trees of the system's own that no module folder may lie in, and the folders inside them that
/// may hold one all the same.
constexpr const char* kSystemTrees[] = {"/usr", "/etc", "/var", "/boot", "/root", "/home", "/proc", "/sys",
                                        "/dev", "/run", "/tmp", "/bin", "/sbin", "/lib", "/lib32", "/lib64",
                                        "/libx32", "/snap", "/lost+found"};
constexpr const char* kAllowedInsideSystemTrees[] = {"/usr/local", "/var/opt"};

/// The folder as it stands on the machine: a folder under the machine root of a test run is
/// judged by its place below that root.
std::string onTheMachine(const std::string& folder)
{
    const std::string root = PathPolicy::normalized(platform::platformRoot());
    if (root != "/" && PathPolicy::isInsideOrSame(folder, root))
        return folder.size() == root.size() ? std::string("/") : folder.substr(root.size());
    return folder;
}

std::optional<std::string> systemTreeProblem(const std::string& folder)
{
    const std::string place = onTheMachine(folder);
    for (const char* allowed : kAllowedInsideSystemTrees) {
        if (PathPolicy::isInsideOrSame(place, allowed) && place != allowed)
            return std::nullopt;
    }
    for (const char* tree : kSystemTrees) {
        if (PathPolicy::isInsideOrSame(place, tree))
            return "\"" + folder + "\" lies in " + tree + ", a tree of the system's own";
    }
    return std::nullopt;
}

/// A folder of the setting that exists must be root's and changeable by root alone; one that does
/// not exist yet holds nothing to remove.
std::optional<std::string> ownershipProblem(const std::string& folder)
{
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        return std::nullopt;
    if (S_ISLNK(st.st_mode))
        return "\"" + folder + "\" is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "\"" + folder + "\" is not a folder";
    if (st.st_uid != 0 && (::geteuid() == 0 || !platform::testSeamsEnabled() || st.st_uid != ::geteuid()))
        return "\"" + folder + "\" is not owned by root";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "\"" + folder + "\" is writable by group or others";
    return std::nullopt;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::string ModuleFolders::settingFile()
{
    // A setting of this machine's own, in /etc whatever root the registry is looked up under; test
    // runs keep it under their machine root.
    if (const std::optional<std::string> root = platform::testSeam("PLATFORM_ROOT"))
        return platform::stringByAppendingPathComponent(*root, kSettingPath);
    return kSettingPath;
}

std::optional<std::vector<std::string>> ModuleFolders::load(std::string* error)
{
    const std::string path = settingFile();
    bool missing = false;
    std::string problem;
    const auto contents = TrustedFile::read(path, kMaxSettingBytes, &problem, &missing);
    if (missing) {
        std::vector<std::string> folders;
        for (const std::string& folder : PathPolicy::builtModuleFolders())
            folders.push_back(PathPolicy::normalized(platform::resolveSystemPath(folder)));
        return folders;
    }
    if (!contents) {
        *error = "the setting " + path + " " + problem;
        return std::nullopt;
    }
    auto folders = parse(contents->bytes, &problem);
    if (!folders) {
        *error = "the setting " + path + " " + problem;
        return folders;
    }
    // What is on disk is judged where every program reads the setting, so that all judge alike.
    for (std::size_t i = 0; i < folders->size(); ++i) {
        if (auto owned = ownershipProblem((*folders)[i])) {
            *error = "the setting " + path + " names " + *owned;
            return std::nullopt;
        }
    }
    return folders;
}

std::optional<std::vector<std::string>> ModuleFolders::parse(std::string_view text, std::string* error)
{
    std::vector<std::string> folders;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = trimmed(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (auto problem = PathPolicy::syntaxProblem(line)) {
            *error = "line " + std::to_string(lineNumber) + ": \"" + std::string(line) + "\" " + *problem;
            return std::nullopt;
        }
        std::string folder = PathPolicy::normalized(line);
        for (const char* system : kSystemFolders) {
            if (folder == system) {
                *error = "line " + std::to_string(lineNumber) + ": \"" + folder + "\" is a system folder";
                return std::nullopt;
            }
        }
        if (auto problem = systemTreeProblem(folder)) {
            *error = "line " + std::to_string(lineNumber) + ": " + *problem;
            return std::nullopt;
        }
        folders.push_back(std::move(folder));
    }
    if (folders.empty()) {
        *error = "names no folder";
        return std::nullopt;
    }
    return folders;
}

}  // namespace scripthelper
