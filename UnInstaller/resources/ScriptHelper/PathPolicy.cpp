#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <algorithm>

namespace scripthelper {

namespace {

const char* const kSystemFolders[] = {
    "/",
    "/Applications",
    "/Library",
    "/Library/Application Support",
    "/Library/Frameworks",
    "/Library/Preferences",
    "/Library/Printers",
    "/Network",
    "/System",
    "/Users",
    "/Volumes",
    "/bin",
    "/boot",
    "/dev",
    "/etc",
    "/home",
    "/lib",
    "/lib32",
    "/lib64",
    "/libx32",
    "/media",
    "/mnt",
    "/opt",
    "/private",
    "/proc",
    "/root",
    "/run",
    "/sbin",
    "/snap",
    "/srv",
    "/sys",
    "/tmp",
    "/usr",
    "/usr/bin",
    "/usr/lib",
    "/usr/libexec",
    "/usr/local",
    "/usr/local/bin",
    "/usr/local/lib",
    "/usr/sbin",
    "/usr/share",
    "/var",
    "/var/tmp",
};

void addUnique(std::vector<std::string>& list, std::string path)
{
    if (std::find(list.begin(), list.end(), path) == list.end())
        list.push_back(std::move(path));
}

}  // namespace

PathPolicy::PathPolicy(const std::string& machineRoot, const std::string& homeFolder)
{
    const std::string root = normalized(machineRoot);
    for (const char* folder : kSystemFolders) {
        addUnique(m_protected, folder);
        if (!syntaxProblem(root) && root != "/")
            addUnique(m_protected, normalized(root + folder));
    }
    if (!syntaxProblem(homeFolder)) {
        const std::string home = normalized(homeFolder);
        addUnique(m_protected, home);
        addUnique(m_protected, home + "/Library");
        addUnique(m_protected, home + "/Library/Preferences");
    }
}

std::vector<std::string> PathPolicy::components(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string PathPolicy::normalized(std::string_view path)
{
    std::string result = path.empty() || path[0] != '/' ? std::string() : std::string("/");
    for (const std::string& part : components(path)) {
        if (!result.empty() && result.back() != '/')
            result += '/';
        result += part;
    }
    return result;
}

std::optional<std::string> PathPolicy::syntaxProblem(std::string_view path)
{
    if (path.empty())
        return "is empty";
    if (path[0] != '/')
        return "is not an absolute path";
    const std::vector<std::string> parts = components(path);
    if (parts.empty())
        return "is the root folder";
    for (const std::string& part : parts) {
        if (part == "." || part == "..")
            return "has a \".\" or \"..\" component";
    }
    return std::nullopt;
}

bool PathPolicy::isInsideOrSame(std::string_view path, std::string_view folder)
{
    if (path.empty() || folder.empty() || (path[0] == '/') != (folder[0] == '/'))
        return false;
    const std::vector<std::string> inner = components(path);
    const std::vector<std::string> outer = components(folder);
    return outer.size() <= inner.size() && std::equal(outer.begin(), outer.end(), inner.begin());
}

std::optional<std::string> PathPolicy::protectedProblem(std::string_view path) const
{
    const std::string candidate = normalized(path);
    for (const std::string& folder : m_protected) {
        if (folder == candidate)
            return "is a protected folder";
    }
    for (const std::string& folder : m_protected) {
        if (isInsideOrSame(folder, candidate))
            return "holds the protected folder " + folder;
    }
    return std::nullopt;
}

}  // namespace scripthelper
