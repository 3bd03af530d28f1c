#include "UnInstaller/resources/ScriptHelper/InstallFiles.h"

#include "UnInstaller/resources/ScriptHelper/FileDigest.h"
#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"
#include "platform/foundation/PropertyList.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

namespace {

constexpr std::size_t kMaxInfoPlistBytes = 1024 * 1024;
constexpr std::size_t kMaxLinkBytes = 4096;

std::string errorText(int error)
{
    return std::strerror(error);
}

UniqueFd openChildFolder(int folder, const std::string& name)
{
    return UniqueFd(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::vector<std::string> entriesOf(int folder)
{
    std::vector<std::string> names;
    const int copy = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0)
        return names;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::string> readLinkAt(int folder, const std::string& name)
{
    char buffer[kMaxLinkBytes];
    const ssize_t n = ::readlinkat(folder, name.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

UniqueFd InstallFiles::openFolder(const std::string& path, bool create, std::vector<std::string>* created,
                                  std::string* error)
{
    if (auto problem = PathPolicy::syntaxProblem(path); problem && path != "/") {
        *error = path + " " + *problem;
        return UniqueFd();
    }
    UniqueFd folder(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string shown;
    for (const std::string& part : PathPolicy::components(path)) {
        shown += "/" + part;
        UniqueFd next = openChildFolder(folder.get(), part);
        if (!next.valid() && errno == ENOENT && create) {
            if (::mkdirat(folder.get(), part.c_str(), 0755) != 0) {
                *error = "cannot make folder " + shown + ": " + errorText(errno);
                return UniqueFd();
            }
            if (created != nullptr)
                created->push_back(shown);
            next = openChildFolder(folder.get(), part);
        }
        if (!next.valid()) {
            *error = errno == ELOOP || errno == ENOTDIR
                         ? shown + " is a symbolic link or not a folder"
                         : "cannot open folder " + shown + ": " + errorText(errno);
            return UniqueFd();
        }
        folder = std::move(next);
    }
    return folder;
}

InstallFiles::Probe InstallFiles::probe(const std::string& folderPath)
{
    Probe result;
    if (auto problem = PathPolicy::syntaxProblem(folderPath)) {
        result.problem = "folder " + folderPath + " " + *problem;
        return result;
    }
    UniqueFd folder(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string shown;
    std::string deepest = "/";
    bool missing = false;
    for (const std::string& part : PathPolicy::components(folderPath)) {
        shown += "/" + part;
        if (missing) {
            result.missing.push_back(shown);
            continue;
        }
        UniqueFd next = openChildFolder(folder.get(), part);
        if (!next.valid() && errno == ENOENT) {
            missing = true;
            result.missing.push_back(shown);
            continue;
        }
        if (!next.valid()) {
            result.problem = errno == ELOOP || errno == ENOTDIR
                                 ? shown + " is a symbolic link or not a folder"
                                 : "folder " + shown + " cannot be opened: " + errorText(errno);
            return result;
        }
        folder = std::move(next);
        deepest = shown;
    }
    // The deepest folder that exists must take new entries with the rights at hand.
    if (::faccessat(folder.get(), ".", W_OK | X_OK, AT_EACCESS) != 0)
        result.problem = "folder " + deepest + " cannot be written: " + errorText(errno);
    return result;
}

bool InstallFiles::copyTree(int sourceFolder, const std::string& sourceName, int targetFolder,
                            const std::string& targetName, const std::string& finalPath, unsigned long owner,
                            bool userSide, std::vector<Receipt::Item>* items, std::string* error)
{
    struct stat st {};
    if (::fstatat(sourceFolder, sourceName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        *error = "cannot examine the payload's " + sourceName + ": " + errorText(errno);
        return false;
    }
    Receipt::Item item;
    item.path = finalPath;
    item.owner = owner;
    item.userSide = userSide;
    if (S_ISLNK(st.st_mode)) {
        const auto target = readLinkAt(sourceFolder, sourceName);
        if (!target || ::symlinkat(target->c_str(), targetFolder, targetName.c_str()) != 0) {
            *error = "cannot place the link " + finalPath + ": " + errorText(errno);
            return false;
        }
        item.kind = Receipt::Item::Kind::Link;
        item.size = target->size();
        item.sha256 = FileDigest::ofBytes(*target);
        items->push_back(std::move(item));
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdirat(targetFolder, targetName.c_str(), 0755) != 0) {
            *error = "cannot make folder " + finalPath + ": " + errorText(errno);
            return false;
        }
        item.kind = Receipt::Item::Kind::Folder;
        items->push_back(std::move(item));
        const UniqueFd from = openChildFolder(sourceFolder, sourceName);
        const UniqueFd to = openChildFolder(targetFolder, targetName);
        if (!from.valid() || !to.valid()) {
            *error = "cannot open folder " + finalPath + ": " + errorText(errno);
            return false;
        }
        for (const std::string& name : entriesOf(from.get())) {
            if (!copyTree(from.get(), name, to.get(), name, finalPath + "/" + name, owner, userSide, items, error))
                return false;
        }
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = "the payload's " + sourceName + " is neither a file, a folder nor a link";
        return false;
    }
    const UniqueFd in(::openat(sourceFolder, sourceName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const mode_t mode = (st.st_mode & 0111) != 0 ? 0755 : 0644;
    const UniqueFd out(
        ::openat(targetFolder, targetName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!in.valid() || !out.valid()) {
        *error = "cannot write " + finalPath + ": " + errorText(errno);
        return false;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = "cannot read the payload's " + sourceName + ": " + errorText(errno);
            return false;
        }
        if (n == 0)
            break;
        if (!writeAll(out.get(), buffer, static_cast<std::size_t>(n))) {
            *error = "cannot write " + finalPath + ": " + errorText(errno);
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    if (::fsync(out.get()) != 0) {
        *error = "cannot write " + finalPath + ": " + errorText(errno);
        return false;
    }
    item.kind = Receipt::Item::Kind::File;
    item.size = bytes.size();
    item.sha256 = FileDigest::ofBytes(bytes);
    items->push_back(std::move(item));
    return true;
}

bool InstallFiles::removeTree(int folder, const std::string& name, std::string* error)
{
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode)) {
        const UniqueFd inner = openChildFolder(folder, name);
        if (!inner.valid()) {
            *error = "cannot open " + name + ": " + errorText(errno);
            return false;
        }
        struct stat innerSt {};
        if (::fstat(inner.get(), &innerSt) != 0 || innerSt.st_dev != st.st_dev) {
            *error = name + " is on another file system";
            return false;
        }
        for (const std::string& entry : entriesOf(inner.get())) {
            if (!removeTree(inner.get(), entry, error))
                return false;
        }
        if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            *error = "cannot remove " + name + ": " + errorText(errno);
            return false;
        }
        return true;
    }
    if (::unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) {
        *error = "cannot remove " + name + ": " + errorText(errno);
        return false;
    }
    return true;
}

bool InstallFiles::exists(int folder, const std::string& name)
{
    struct stat st {};
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::optional<std::string> InstallFiles::bundleIdentifier(int folder, const std::string& name)
{
    const UniqueFd bundle = openChildFolder(folder, name);
    const UniqueFd contents = bundle.valid() ? openChildFolder(bundle.get(), "Contents") : UniqueFd();
    if (!contents.valid())
        return std::nullopt;
    const UniqueFd info(::openat(contents.get(), "Info.plist", O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!info.valid() || ::fstat(info.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const auto bytes = FileTree::readAll(info.get(), kMaxInfoPlistBytes);
    if (!bytes)
        return std::nullopt;
    const auto root = platform::parsePropertyList(*bytes);
    const platform::PlistDictionary* dictionary = root ? root->asDictionary() : nullptr;
    const std::string* identifier = dictionary != nullptr ? dictionary->stringForKey("CFBundleIdentifier") : nullptr;
    if (identifier == nullptr)
        return std::nullopt;
    return *identifier;
}

std::optional<std::string> InstallFiles::changeFrom(const Receipt::Item& item, bool* missing)
{
    *missing = false;
    const std::string parentPath = item.path.substr(0, item.path.rfind('/'));
    const std::string name = item.path.substr(item.path.rfind('/') + 1);
    std::string error;
    const UniqueFd parent = openFolder(parentPath.empty() ? "/" : parentPath, false, nullptr, &error);
    if (!parent.valid()) {
        if (error.find(std::strerror(ENOENT)) != std::string::npos) {
            *missing = true;
            return std::nullopt;
        }
        return error;
    }
    struct stat st {};
    if (::fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        *missing = errno == ENOENT;
        return *missing ? std::nullopt : std::optional<std::string>("cannot be examined: " + errorText(errno));
    }
    switch (item.kind) {
    case Receipt::Item::Kind::Folder:
        return S_ISDIR(st.st_mode) ? std::nullopt : std::optional<std::string>("is no longer a folder");
    case Receipt::Item::Kind::Link: {
        const auto target = S_ISLNK(st.st_mode) ? readLinkAt(parent.get(), name) : std::nullopt;
        if (!target || FileDigest::ofBytes(*target) != item.sha256)
            return std::string("changed since it was installed");
        return std::nullopt;
    }
    case Receipt::Item::Kind::File:
        break;
    }
    if (!S_ISREG(st.st_mode))
        return std::string("is no longer a file");
    if (static_cast<std::uint64_t>(st.st_size) != item.size)
        return std::string("changed since it was installed (its size differs)");
    const UniqueFd file(::openat(parent.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const auto digest = file.valid() ? FileDigest::ofFile(file.get()) : std::nullopt;
    if (!digest)
        return "cannot be read: " + errorText(errno);
    if (*digest != item.sha256)
        return std::string("changed since it was installed (its checksum differs)");
    return std::nullopt;
}

std::string InstallFiles::encodeItems(const std::vector<Receipt::Item>& items)
{
    std::string text;
    for (const Receipt::Item& item : items) {
        text += std::string(Receipt::kindWord(item.kind)) + " " + (item.userSide ? "u" : "") + std::to_string(item.owner) + " " +
                std::to_string(item.size) + " " + (item.sha256.empty() ? "-" : item.sha256) + " " +
                encodeIdentifier(item.path) + "\n";
    }
    return text;
}

std::optional<std::vector<Receipt::Item>> InstallFiles::decodeItems(std::string_view text)
{
    std::vector<Receipt::Item> items;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt;
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        std::vector<std::string_view> parts;
        for (std::size_t blank = line.find(' '); parts.size() < 4 && blank != std::string_view::npos;
             blank = line.find(' ')) {
            parts.push_back(line.substr(0, blank));
            line.remove_prefix(blank + 1);
        }
        parts.push_back(line);
        if (parts.size() != 5)
            return std::nullopt;
        Receipt::Item item;
        if (parts[0] == "folder")
            item.kind = Receipt::Item::Kind::Folder;
        else if (parts[0] == "link")
            item.kind = Receipt::Item::Kind::Link;
        else if (parts[0] != "file")
            return std::nullopt;
        std::uint64_t owner = 0;
        item.userSide = !parts[1].empty() && parts[1].front() == 'u';
        if (item.userSide)
            parts[1].remove_prefix(1);
        if (std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), owner).ec != std::errc() ||
            std::from_chars(parts[2].data(), parts[2].data() + parts[2].size(), item.size).ec != std::errc())
            return std::nullopt;
        item.owner = static_cast<unsigned long>(owner);
        item.sha256 = parts[3] == "-" ? std::string() : std::string(parts[3]);
        auto path = decodeIdentifier(parts[4]);
        if (!path)
            return std::nullopt;
        item.path = std::move(*path);
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace scripthelper
