#include "UnInstaller/resources/ScriptHelper/FileTree.h"

#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

UniqueFd FileTree::stepInto(int folder, const std::string& name, const std::string& shown, Walk* walk)
{
    UniqueFd next(::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.valid())
        return next;
    const int error = errno;
    struct stat st {};
    if (error == ENOENT) {
        walk->missing = true;
    } else if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        walk->problem = "passes through the symbolic link " + shown;
    } else if (error == ENOTDIR) {
        walk->problem = "passes through " + shown + ", which is not a folder";
    } else {
        walk->problem = "cannot open " + shown + ": " + std::strerror(error);
    }
    return next;
}

FileTree::Walk FileTree::walkToParent(const std::string& path, const FolderCheck& check)
{
    Walk walk;
    if (auto problem = PathPolicy::syntaxProblem(path)) {
        walk.problem = *problem;
        return walk;
    }
    const std::vector<std::string> parts = PathPolicy::components(path);
    UniqueFd folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::string shown = "/";
    for (std::size_t i = 0;; ++i) {
        if (!folder.valid()) {
            if (!walk.missing && !walk.problem)
                walk.problem = "cannot open " + shown + ": " + std::strerror(errno);
            return walk;
        }
        if (check) {
            struct stat st {};
            if (::fstat(folder.get(), &st) != 0) {
                walk.problem = "cannot examine " + shown + ": " + std::strerror(errno);
                return walk;
            }
            if (auto problem = check(st, shown)) {
                walk.problem = *problem;
                return walk;
            }
        }
        if (i + 1 >= parts.size())
            break;
        shown = shown == "/" ? "/" + parts[i] : shown + "/" + parts[i];
        folder = stepInto(folder.get(), parts[i], shown, &walk);
    }
    walk.parent = std::move(folder);
    walk.name = parts.back();
    return walk;
}

FileTree::Outcome FileTree::removeHeld(const std::string& path, const std::string& holdName, std::string* error)
{
    Target target(path);
    return Session().removeHeld(target, holdName, error);
}

std::optional<bool> FileTree::exists(const std::string& path)
{
    Walk walk = walkToParent(path);
    if (walk.missing)
        return false;
    if (walk.problem)
        return std::nullopt;
    struct stat st {};
    if (::fstatat(walk.parent.get(), walk.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    return std::nullopt;
}

std::optional<std::string> FileTree::readAll(int fd, std::size_t maxBytes)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return bytes;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace scripthelper
