#include "UnInstaller/resources/ScriptHelper/FileTree.h"

#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace scripthelper {

namespace {

constexpr int kMaxDepth = 256;
/// Room for the entries of a folder read at once: a folder of a few hundred entries in one read.
constexpr std::size_t kListingBytes = 32 * 1024;
/// Descriptors a Session leaves to everything else: the deepest tree being removed, the folders
/// on the way, the registry, the journal and the output.
constexpr rlim_t kSpareDescriptors = 384;

void (*g_stepHook)() = nullptr;

void stepTaken()
{
    if (g_stepHook != nullptr)
        g_stepHook();
}

std::string errorText(int error)
{
    return std::strerror(error);
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

/// "what PATH: the error errno holds", errno read before the path is made.
template <class Path>
std::string failed(const char* what, const Path& path)
{
    const std::string error = errorText(errno);
    return what + path() + ": " + error;
}

/// Where a file lies: its device and the mount it is reached through. A bind mount of a folder of
/// the same file system keeps the device but has a mount of its own.
struct Place {
    std::uint64_t device = 0;
    std::uint64_t mount = 0;
    bool operator==(const Place&) const = default;
};

/// What one statx call tells of a file, links not followed: its type, identity and mount.
struct Info {
    mode_t mode = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t mount = 0;
    bool mountTold = false;
};

/// Examines name in folder (folder itself when name is empty) with one call; false with errno set.
bool examine(int folder, const char* name, Info* info)
{
    struct statx st {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name == '\0' ? AT_EMPTY_PATH : 0);
    if (::statx(folder, name, flags, STATX_TYPE | STATX_MODE | STATX_INO | STATX_MNT_ID, &st) != 0)
        return false;
    info->mode = st.stx_mode;
    info->device = ::makedev(st.stx_dev_major, st.stx_dev_minor);
    info->inode = st.stx_ino;
    info->mountTold = (st.stx_mask & STATX_MNT_ID) != 0;
    info->mount = info->mountTold ? st.stx_mnt_id : 0;
    return true;
}

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

/// The place of what examine() found as name in folder; none when it cannot be learnt, also when
/// the kernel does not tell mount identities.
std::optional<Place> placeOf(int folder, const char* name, const Info& info)
{
    if (!info.mountTold)
        return std::nullopt;
    if (info.mount != 0)
        return Place{info.device, info.mount};
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
    return Place{info.device, *mount};
}

std::optional<Place> placeOf(int folder, const char* name)
{
    Info info;
    return examine(folder, name, &info) ? placeOf(folder, name, info) : std::nullopt;
}

/// One entry of a folder and its type as the folder tells it (DT_UNKNOWN when it does not).
struct Entry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

/// The entries of a folder open for reading, "." and ".." left out; false with errno set when it
/// cannot be read to its end.
bool listFolder(int folder, std::vector<Entry>* entries)
{
    thread_local std::vector<char> buffer(kListingBytes);
    for (;;) {
        const ssize_t got = ::getdents64(folder, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            entries->push_back({name, entry->d_type});
        }
    }
}

UniqueFd openFolderAt(int parent, const std::string& name)
{
    return UniqueFd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::string shownPath(const std::vector<std::string>& parts, std::size_t count)
{
    std::string shown = "/";
    for (std::size_t i = 0; i < count; ++i)
        shown = joined(shown, parts[i]);
    return shown;
}

std::optional<std::string> scan(int folder, const std::string& path, const Place& place, int depth)
{
    if (depth > kMaxDepth)
        return "holds folders nested too deeply at " + path;
    std::vector<Entry> entries;
    if (!listFolder(folder, &entries))
        return "cannot list " + path + ": " + errorText(errno);
    for (const Entry& entry : entries) {
        // Named only in a message, and then after errno is read.
        const auto child = [&] { return joined(path, entry.name); };
        Info info;
        if (!examine(folder, entry.name.c_str(), &info)) {
            if (errno == ENOENT)
                continue;
            return failed("cannot examine ", child);
        }
        if (info.device != place.device)
            return "holds " + child() + ", which is on another file system";
        if (S_ISLNK(info.mode))
            continue;
        if (placeOf(folder, entry.name.c_str(), info) != place)
            return "holds " + child() + ", which is on another mount";
        if (S_ISDIR(info.mode)) {
            const UniqueFd sub = openFolderAt(folder, entry.name);
            if (!sub.valid())
                return failed("cannot open ", child);
            if (auto problem = scan(sub.get(), child(), place, depth + 1))
                return problem;
        }
    }
    return std::nullopt;
}

/// Removes the folder name in parent and everything in it. Each folder is checked to be on place
/// once it is open; the entries in it are told apart by the type its listing gives, so a file
/// costs one unlink. A file that is a mount point refuses to be unlinked.
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
    std::vector<Entry> entries;
    if (!listFolder(folder.get(), &entries)) {
        *error = "cannot list " + path + ": " + errorText(errno);
        return false;
    }
    for (const Entry& entry : entries) {
        // Named only in a message, and then after errno is read.
        const auto child = [&] { return joined(path, entry.name); };
        bool isFolder = entry.type == DT_DIR;
        if (entry.type == DT_UNKNOWN) {
            Info info;
            if (!examine(folder.get(), entry.name.c_str(), &info)) {
                if (errno == ENOENT)
                    continue;
                *error = failed("cannot examine ", child);
                return false;
            }
            isFolder = S_ISDIR(info.mode);
        }
        if (isFolder) {
            if (!removeTree(folder.get(), entry.name, child(), place, error, depth + 1))
                return false;
        } else if (::unlinkat(folder.get(), entry.name.c_str(), 0) != 0 && errno != ENOENT) {
            *error = failed("cannot remove ", child);
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

/// Examines name in folder (shown as path) as the entry to remove or rename: a folder or a file on
/// the folder's own place, not a link. Answers Removed when it may go, with its place in *place.
FileTree::Outcome examineEntry(int folder, const Place& folderPlace, const std::string& name, const std::string& path,
                               Place* place, bool* isFolder, std::string* error)
{
    Info info;
    if (!examine(folder, name.c_str(), &info)) {
        if (errno == ENOENT)
            return FileTree::Outcome::Missing;
        *error = "cannot examine " + path + ": " + errorText(errno);
        return FileTree::Outcome::Failed;
    }
    if (S_ISLNK(info.mode)) {
        *error = path + " is a symbolic link";
        return FileTree::Outcome::Failed;
    }
    if (!S_ISDIR(info.mode) && !S_ISREG(info.mode)) {
        *error = path + " is neither a folder nor a file";
        return FileTree::Outcome::Failed;
    }
    const std::optional<Place> found = placeOf(folder, name.c_str(), info);
    if (info.device != folderPlace.device || !found || *found != folderPlace) {
        *error = path + " is on another file system or mount than its folder";
        return FileTree::Outcome::Failed;
    }
    *place = *found;
    *isFolder = S_ISDIR(info.mode);
    return FileTree::Outcome::Removed;
}

/// Removes name in folder (shown as path) after examineEntry().
FileTree::Outcome removeEntry(int folder, const Place& folderPlace, const std::string& name, const std::string& path,
                              std::string* error)
{
    Place place;
    bool isFolder = false;
    const FileTree::Outcome examined = examineEntry(folder, folderPlace, name, path, &place, &isFolder, error);
    if (examined != FileTree::Outcome::Removed)
        return examined;
    if (isFolder)
        return removeTree(folder, name, path, place, error, 0) ? FileTree::Outcome::Removed : FileTree::Outcome::Failed;
    if (::unlinkat(folder, name.c_str(), 0) != 0) {
        if (errno == ENOENT)
            return FileTree::Outcome::Missing;
        *error = "cannot remove " + path + ": " + errorText(errno);
        return FileTree::Outcome::Failed;
    }
    stepTaken();
    return FileTree::Outcome::Removed;
}

/// Renames name to holdName in folder (shown as path) after examineEntry(); never replaces anything.
FileTree::Outcome renameEntry(int folder, const Place& folderPlace, const std::string& name,
                              const std::string& holdName, const std::string& path, std::string* error)
{
    Place place;
    bool isFolder = false;
    const FileTree::Outcome examined = examineEntry(folder, folderPlace, name, path, &place, &isFolder, error);
    if (examined != FileTree::Outcome::Removed)
        return examined;
    if (::renameat2(folder, name.c_str(), folder, holdName.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == ENOENT)
            return FileTree::Outcome::Missing;
        *error = "cannot move " + path + " aside: " + errorText(errno);
        return FileTree::Outcome::Failed;
    }
    stepTaken();
    return FileTree::Outcome::Removed;
}

/// Inspects name in the open folder (shown as the normalized path, which mounts lists).
FileTree::Inspection inspectEntry(int folder, const Place& folderPlace, const std::string& name,
                                  const std::string& path, const MountTable& mounts)
{
    FileTree::Inspection result;
    Info info;
    if (!examine(folder, name.c_str(), &info)) {
        if (errno == ENOENT)
            result.missing = true;
        else
            result.problem = "cannot examine " + path + ": " + errorText(errno);
        return result;
    }
    if (S_ISLNK(info.mode)) {
        result.problem = "is a symbolic link";
        return result;
    }
    const std::optional<Place> place = placeOf(folder, name.c_str(), info);
    if (info.device != folderPlace.device || !place || *place != folderPlace) {
        result.problem = "is on another file system or mount than its folder";
        return result;
    }
    // Another mount showing it or a folder inside it would still show what is removed here.
    if (auto elsewhere = mounts.shownElsewhere(place->mount, path)) {
        result.problem = "is mounted at " + *elsewhere + " as well (there, or a folder inside it)";
        return result;
    }
    if (S_ISREG(info.mode))
        return result;
    if (!S_ISDIR(info.mode)) {
        result.problem = "is neither a folder nor a file";
        return result;
    }
    const UniqueFd tree = openFolderAt(folder, name);
    if (!tree.valid()) {
        result.problem = "cannot open " + path + ": " + errorText(errno);
        return result;
    }
    result.problem = scan(tree.get(), path, *place, 0);
    return result;
}

}  // namespace

void FileTree::setStepHook(void (*hook)())
{
    g_stepHook = hook;
}

FileTree::Target::Target(const std::string& path)
    : m_path(PathPolicy::normalized(path)), m_parts(PathPolicy::components(path)), m_problem(PathPolicy::syntaxProblem(path))
{
}

FileTree::Session::Session() = default;

FileTree::Session::~Session() = default;

int FileTree::Session::folderOf(const std::vector<std::string>& parts, std::size_t count, Walk* walk)
{
    if (m_open.empty()) {
        UniqueFd root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!root.valid()) {
            walk->problem = "cannot open /: " + errorText(errno);
            return -1;
        }
        m_open.push_back({std::string(), std::move(root)});
    }
    // m_open[i + 1] is the folder of parts[i]: keep the ones this path shares, open the rest.
    std::size_t shared = 0;
    while (shared < count && shared + 1 < m_open.size() && m_open[shared + 1].name == parts[shared])
        ++shared;
    m_open.resize(shared + 1);
    for (std::size_t i = shared; i < count; ++i) {
        UniqueFd next = stepInto(m_open.back().fd.get(), parts[i], shownPath(parts, i + 1), walk);
        if (!next.valid())
            return -1;
        m_open.push_back({parts[i], std::move(next)});
    }
    return m_open[count].fd.get();
}

int FileTree::Session::folderOf(Target& target, Walk* walk)
{
    if (target.m_folder.valid())
        return target.m_folder.get();
    if (target.m_problem || target.m_parts.empty()) {
        walk->problem = target.m_problem.value_or("is the root folder");
        return -1;
    }
    const std::size_t depth = target.m_parts.size() - 1;
    UniqueFd folder;
    if (depth == 0) {
        folder = UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    } else if (const int above = folderOf(target.m_parts, depth - 1, walk); above >= 0) {
        folder = stepInto(above, target.m_parts[depth - 1], shownPath(target.m_parts, depth), walk);
    }
    if (!folder.valid()) {
        if (!walk->missing && !walk->problem)
            walk->problem = "cannot open the folder of " + target.m_path + ": " + errorText(errno);
        return -1;
    }
    const std::optional<Place> place = placeOf(folder.get(), "");
    if (!place) {
        walk->problem = "cannot examine the folder of " + target.m_path + ": " + errorText(errno);
        return -1;
    }
    target.m_folderDevice = place->device;
    target.m_folderMount = place->mount;
    target.m_folder = std::move(folder);
    ++m_held;
    return target.m_folder.get();
}

bool FileTree::Session::mayHoldAnother()
{
    if (m_held < m_holdLimit)
        return true;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    // Nothing here waits on descriptors with select(), so the soft limit may go up to the hard one.
    if (limit.rlim_cur < limit.rlim_max && limit.rlim_cur <= m_held + 2 * kSpareDescriptors) {
        limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    m_holdLimit = limit.rlim_cur > kSpareDescriptors ? static_cast<std::size_t>(limit.rlim_cur - kSpareDescriptors) : 0;
    return m_held < m_holdLimit;
}

void FileTree::Session::letGo(Target& target)
{
    if (target.m_folder.valid())
        --m_held;
    target.m_folder.reset();
}

FileTree::Inspection FileTree::Session::inspect(Target& target)
{
    Inspection result;
    if (!m_mounts) {
        std::string error;
        m_mounts = MountTable::load(&error);
        if (!m_mounts) {
            result.problem = "cannot be checked: " + error;
            return result;
        }
    }
    Walk walk;
    const int folder = folderOf(target, &walk);
    if (folder < 0) {
        result.missing = walk.missing;
        result.problem = walk.problem;
        return result;
    }
    result = inspectEntry(folder, {target.m_folderDevice, target.m_folderMount}, target.m_parts.back(), target.m_path,
                          *m_mounts);
    // The folder stays open for the steps that follow while the process may hold that many.
    if (result.problem || result.missing || !mayHoldAnother())
        letGo(target);
    return result;
}

FileTree::Outcome FileTree::Session::moveAside(Target& target, const std::string& holdName, std::string* error)
{
    Walk walk;
    const int folder = folderOf(target, &walk);
    if (folder < 0) {
        if (walk.problem)
            *error = target.m_path + " " + *walk.problem;
        return walk.missing ? Outcome::Missing : Outcome::Failed;
    }
    const Outcome outcome = renameEntry(folder, {target.m_folderDevice, target.m_folderMount}, target.m_parts.back(),
                                        holdName, target.m_path, error);
    if (outcome != Outcome::Removed)
        letGo(target);
    return outcome;
}

FileTree::Outcome FileTree::Session::removeHeld(Target& target, const std::string& holdName, std::string* error)
{
    Walk walk;
    const int folder = folderOf(target, &walk);
    if (folder < 0) {
        if (walk.problem)
            *error = target.m_path + " " + *walk.problem;
        return walk.missing ? Outcome::Missing : Outcome::Failed;
    }
    const std::string shown = target.m_path.substr(0, target.m_path.rfind('/') + 1) + holdName;
    const Outcome outcome = removeEntry(folder, {target.m_folderDevice, target.m_folderMount}, holdName, shown, error);
    letGo(target);
    return outcome;
}

bool FileTree::Session::removeFolderIfEmpty(Target& target)
{
    letGo(target);
    if (target.m_problem || target.m_parts.size() < 2)
        return false;
    Walk walk;
    const std::size_t depth = target.m_parts.size() - 1;
    const int above = folderOf(target.m_parts, depth - 1, &walk);
    // Removing a folder never follows a link nor removes anything but an empty folder.
    return above >= 0 && ::unlinkat(above, target.m_parts[depth - 1].c_str(), AT_REMOVEDIR) == 0;
}

bool FileTree::Session::holdsOnly(Target& target)
{
    Walk walk;
    const int folder = folderOf(target, &walk);
    const UniqueFd listed(folder < 0 ? -1 : ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    letGo(target);
    std::vector<Entry> entries;
    return listed.valid() && listFolder(listed.get(), &entries) && entries.size() == 1 &&
           entries.front().name == target.m_parts.back();
}


}  // namespace scripthelper
