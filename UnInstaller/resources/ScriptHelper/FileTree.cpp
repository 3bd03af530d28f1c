#include "UnInstaller/resources/ScriptHelper/FileTree.h"

#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace scripthelper {

namespace {

constexpr int kMaxDepth = 256;

void (*g_stepHook)() = nullptr;

void stepTaken()
{
    if (g_stepHook != nullptr)
        g_stepHook();
}

FileTree::FileId idOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::string errorText(int error)
{
    return std::strerror(error);
}

/// Where a file lies: its device and the mount it is reached through. A bind mount of a folder of
/// the same file system keeps the device but has a mount of its own.
struct Place {
    std::uint64_t device = 0;
    std::uint64_t mount = 0;
    bool operator==(const Place&) const = default;
};

/// The mount identity of an open file as the kernel's /proc/self/fdinfo tells it.
std::optional<std::uint64_t> mountOfOpenFile(int fd)
{
    const std::string path = "/proc/self/fdinfo/" + std::to_string(fd);
    const int info = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (info < 0)
        return std::nullopt;
    char text[512];
    const ssize_t got = ::read(info, text, sizeof text - 1);
    ::close(info);
    if (got <= 0)
        return std::nullopt;
    text[got] = '\0';
    const char* field = std::strstr(text, "\nmnt_id:");
    unsigned long long mount = 0;
    if (!field || std::sscanf(field + 1, "mnt_id: %llu", &mount) != 1)
        return std::nullopt;
    return mount;
}

/// The place of name in folder (of folder itself when name is empty), links not followed; none
/// when it cannot be learnt, also when the kernel does not tell mount identities.
std::optional<Place> placeOf(int folder, const char* name)
{
    struct statx st {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name == '\0' ? AT_EMPTY_PATH : 0);
    if (::statx(folder, name, flags, STATX_MNT_ID, &st) != 0 || (st.stx_mask & STATX_MNT_ID) == 0)
        return std::nullopt;
    Place place{::makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_mnt_id};
    if (place.mount != 0)
        return place;
    // Only the first mount of the boot has identity 0, and an emulator that claims the field
    // without filling it gives 0 for every mount: the file's own descriptor tells which it is.
    std::optional<std::uint64_t> mount;
    if (*name == '\0') {
        mount = mountOfOpenFile(folder);
    } else if (const int fd = ::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC); fd >= 0) {
        mount = mountOfOpenFile(fd);
        ::close(fd);
    }
    if (!mount)
        return std::nullopt;
    return Place{place.device, *mount};
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

/// The names in an open folder, "." and ".." left out; none when it cannot be listed.
std::optional<std::vector<std::string>> entriesOf(int folder)
{
    const int copy = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return std::nullopt;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return std::nullopt;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    const bool failed = errno != 0;
    ::closedir(dir);
    if (failed)
        return std::nullopt;
    return names;
}

UniqueFd openFolderAt(int parent, const std::string& name)
{
    return UniqueFd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::optional<std::string> scan(int folder, const std::string& path, const Place& place,
                                const std::set<FileTree::FileId>& foreign, int depth)
{
    if (depth > kMaxDepth)
        return "holds folders nested too deeply at " + path;
    const auto names = entriesOf(folder);
    if (!names)
        return "cannot list " + path + ": " + errorText(errno);
    for (const std::string& name : *names) {
        const std::string child = joined(path, name);
        struct stat st {};
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            return "cannot examine " + child + ": " + errorText(errno);
        }
        if (static_cast<std::uint64_t>(st.st_dev) != place.device)
            return "holds " + child + ", which is on another file system";
        if (!S_ISLNK(st.st_mode) && placeOf(folder, name.c_str()) != place)
            return "holds " + child + ", which is on another mount";
        if (!S_ISLNK(st.st_mode) && foreign.count(idOf(st)) != 0)
            return "holds " + child + ", the install path of another module";
        if (S_ISDIR(st.st_mode)) {
            const UniqueFd sub = openFolderAt(folder, name);
            if (!sub.valid())
                return "cannot open " + child + ": " + errorText(errno);
            if (auto problem = scan(sub.get(), child, place, foreign, depth + 1))
                return problem;
        }
    }
    return std::nullopt;
}

bool removeTree(int parent, const std::string& name, const std::string& path, const Place& place,
                std::string* error, int depth)
{
    if (depth > kMaxDepth) {
        *error = path + " is nested too deeply";
        return false;
    }
    const UniqueFd folder = openFolderAt(parent, name);
    if (!folder.valid()) {
        *error = "cannot open " + path + ": " + errorText(errno);
        return false;
    }
    if (placeOf(folder.get(), "") != place) {
        *error = path + " is on another file system or mount";
        return false;
    }
    const auto names = entriesOf(folder.get());
    if (!names) {
        *error = "cannot list " + path + ": " + errorText(errno);
        return false;
    }
    for (const std::string& entry : *names) {
        const std::string child = joined(path, entry);
        struct stat st {};
        if (::fstatat(folder.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            *error = "cannot examine " + child + ": " + errorText(errno);
            return false;
        }
        if (static_cast<std::uint64_t>(st.st_dev) != place.device) {
            *error = child + " is on another file system";
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!removeTree(folder.get(), entry, child, place, error, depth + 1))
                return false;
        } else if (::unlinkat(folder.get(), entry.c_str(), 0) != 0 && errno != ENOENT) {
            *error = "cannot remove " + child + ": " + errorText(errno);
            return false;
        }
        stepTaken();
    }
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) {
        *error = "cannot remove " + path + ": " + errorText(errno);
        return false;
    }
    stepTaken();
    return true;
}

}  // namespace

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
            walk.problem = "cannot open " + shown + ": " + errorText(errno);
            return walk;
        }
        if (check) {
            struct stat st {};
            if (::fstat(folder.get(), &st) != 0) {
                walk.problem = "cannot examine " + shown + ": " + errorText(errno);
                return walk;
            }
            if (auto problem = check(st, shown)) {
                walk.problem = *problem;
                return walk;
            }
        }
        if (i + 1 >= parts.size())
            break;
        shown = joined(shown, parts[i]);
        UniqueFd next(::openat(folder.get(), parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            const int error = errno;
            struct stat st {};
            if (error == ENOENT) {
                walk.missing = true;
            } else if (::fstatat(folder.get(), parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISLNK(st.st_mode)) {
                walk.problem = "passes through the symbolic link " + shown;
            } else if (error == ENOTDIR) {
                walk.problem = "passes through " + shown + ", which is not a folder";
            } else {
                walk.problem = "cannot open " + shown + ": " + errorText(error);
            }
            return walk;
        }
        folder = std::move(next);
    }
    walk.parent = std::move(folder);
    walk.name = parts.back();
    return walk;
}

FileTree::Inspection FileTree::inspect(const std::string& path, const std::set<FileId>& foreign)
{
    Inspection result;
    Walk walk = walkToParent(path);
    if (walk.problem || walk.missing) {
        result.problem = walk.problem;
        result.missing = walk.missing;
        return result;
    }
    struct stat parent {};
    struct stat st {};
    if (::fstat(walk.parent.get(), &parent) != 0) {
        result.problem = "cannot examine the folder of " + path + ": " + errorText(errno);
        return result;
    }
    if (::fstatat(walk.parent.get(), walk.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            result.missing = true;
        else
            result.problem = "cannot examine " + path + ": " + errorText(errno);
        return result;
    }
    if (S_ISLNK(st.st_mode)) {
        result.problem = "is a symbolic link";
        return result;
    }
    const std::optional<Place> place = placeOf(walk.parent.get(), walk.name.c_str());
    if (st.st_dev != parent.st_dev || !place || place != placeOf(walk.parent.get(), "")) {
        result.problem = "is on another file system or mount than its folder";
        return result;
    }
    if (foreign.count(idOf(st)) != 0) {
        result.problem = "is also the install path of another module";
        return result;
    }
    if (S_ISREG(st.st_mode))
        return result;
    if (!S_ISDIR(st.st_mode)) {
        result.problem = "is neither a folder nor a file";
        return result;
    }
    const UniqueFd folder = openFolderAt(walk.parent.get(), walk.name);
    if (!folder.valid()) {
        result.problem = "cannot open " + path + ": " + errorText(errno);
        return result;
    }
    result.problem = scan(folder.get(), PathPolicy::normalized(path), *place, foreign, 0);
    return result;
}

namespace {

/// Removes name in parent (shown as path) after checking that it is a folder or a file on the
/// parent's own mount, not a link.
FileTree::Outcome removeEntry(int parent, const std::string& name, const std::string& path, std::string* error)
{
    struct stat folder {};
    struct stat st {};
    if (::fstat(parent, &folder) != 0) {
        *error = "cannot examine the folder of " + path + ": " + errorText(errno);
        return FileTree::Outcome::Failed;
    }
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return FileTree::Outcome::Missing;
        *error = "cannot examine " + path + ": " + errorText(errno);
        return FileTree::Outcome::Failed;
    }
    if (S_ISLNK(st.st_mode)) {
        *error = path + " is a symbolic link";
        return FileTree::Outcome::Failed;
    }
    const std::optional<Place> place = placeOf(parent, name.c_str());
    if (st.st_dev != folder.st_dev || !place || place != placeOf(parent, "")) {
        *error = path + " is on another file system or mount than its folder";
        return FileTree::Outcome::Failed;
    }
    if (S_ISDIR(st.st_mode)) {
        return removeTree(parent, name, path, *place, error, 0) ? FileTree::Outcome::Removed
                                                                : FileTree::Outcome::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + " is neither a folder nor a file";
        return FileTree::Outcome::Failed;
    }
    if (::unlinkat(parent, name.c_str(), 0) != 0) {
        if (errno == ENOENT)
            return FileTree::Outcome::Missing;
        *error = "cannot remove " + path + ": " + errorText(errno);
        return FileTree::Outcome::Failed;
    }
    stepTaken();
    return FileTree::Outcome::Removed;
}

}  // namespace

FileTree::Outcome FileTree::remove(const std::string& path, std::string* error)
{
    Walk walk = walkToParent(path);
    if (walk.missing)
        return Outcome::Missing;
    if (walk.problem) {
        *error = path + " " + *walk.problem;
        return Outcome::Failed;
    }
    return removeEntry(walk.parent.get(), walk.name, PathPolicy::normalized(path), error);
}

FileTree::Outcome FileTree::moveAside(const std::string& path, const std::string& holdName, std::string* error)
{
    Walk walk = walkToParent(path);
    if (walk.missing)
        return Outcome::Missing;
    if (walk.problem) {
        *error = path + " " + *walk.problem;
        return Outcome::Failed;
    }
    struct stat folder {};
    struct stat st {};
    if (::fstat(walk.parent.get(), &folder) != 0 ||
        ::fstatat(walk.parent.get(), walk.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return Outcome::Missing;
        *error = "cannot examine " + path + ": " + errorText(errno);
        return Outcome::Failed;
    }
    if (S_ISLNK(st.st_mode)) {
        *error = path + " is a symbolic link";
        return Outcome::Failed;
    }
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
        *error = path + " is neither a folder nor a file";
        return Outcome::Failed;
    }
    const std::optional<Place> place = placeOf(walk.parent.get(), walk.name.c_str());
    if (st.st_dev != folder.st_dev || !place || place != placeOf(walk.parent.get(), "")) {
        *error = path + " is on another file system or mount than its folder";
        return Outcome::Failed;
    }
    if (::renameat2(walk.parent.get(), walk.name.c_str(), walk.parent.get(), holdName.c_str(), RENAME_NOREPLACE) !=
        0) {
        if (errno == ENOENT)
            return Outcome::Missing;
        *error = "cannot move " + path + " aside: " + errorText(errno);
        return Outcome::Failed;
    }
    stepTaken();
    return Outcome::Removed;
}

FileTree::Outcome FileTree::removeHeld(const std::string& path, const std::string& holdName, std::string* error)
{
    Walk walk = walkToParent(path);
    if (walk.missing)
        return Outcome::Missing;
    if (walk.problem) {
        *error = path + " " + *walk.problem;
        return Outcome::Failed;
    }
    const std::string folder = PathPolicy::normalized(path);
    const std::string shown = folder.substr(0, folder.rfind('/') + 1) + holdName;
    return removeEntry(walk.parent.get(), holdName, shown, error);
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

void FileTree::setStepHook(void (*hook)())
{
    g_stepHook = hook;
}

bool FileTree::removeFolderIfEmpty(const std::string& path)
{
    Walk walk = walkToParent(path);
    if (walk.problem || walk.missing)
        return false;
    struct stat st {};
    if (::fstatat(walk.parent.get(), walk.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return ::unlinkat(walk.parent.get(), walk.name.c_str(), AT_REMOVEDIR) == 0;
}

bool FileTree::holdsOnly(const std::string& path, const std::string& name)
{
    Walk walk = walkToParent(path);
    if (walk.problem || walk.missing)
        return false;
    const UniqueFd folder = openFolderAt(walk.parent.get(), walk.name);
    if (!folder.valid())
        return false;
    const auto names = entriesOf(folder.get());
    return names && names->size() == 1 && names->front() == name;
}

std::optional<FileTree::FileId> FileTree::identity(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return idOf(st);
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
