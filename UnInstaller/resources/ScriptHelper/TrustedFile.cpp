#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"

#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "platform/foundation/TestSeams.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

namespace {

bool writableByOthers(const struct stat& st)
{
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

std::optional<std::string> folderProblem(const struct stat& st, const std::string& path)
{
    if (st.st_uid != 0)
        return "lies in " + path + ", which is not owned by root";
    if (writableByOthers(st) && (st.st_mode & S_ISVTX) == 0)
        return "lies in " + path + ", which is writable by group or others";
    return std::nullopt;
}

/// Whether the root's rules apply: always in an installed program, so that every program judges a
/// file alike whoever runs it; builds with test seams let a user's own demo root pass when not root.
bool strict()
{
    return ::geteuid() == 0 || !platform::testSeamsEnabled();
}

/// The folder that holds the file: only root may create entries in it, since the lock and the
/// journal beside the registry are made there. A sticky folder (such as /tmp) does not count.
std::optional<std::string> ownFolderProblem(int folder)
{
    struct stat st {};
    if (::fstat(folder, &st) != 0)
        return "lies in a folder that cannot be examined";
    if (writableByOthers(st))
        return std::string("lies in a folder in which users other than its owner may create files");
    return std::nullopt;
}

/// The size a limit allows, in words: "64 KiB", "64 MiB".
std::string sizeText(std::size_t bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

UniqueFd TrustedFile::openFolderOf(const std::string& path, std::string* error)
{
    FileTree::Walk walk = strict() ? FileTree::walkToParent(path, folderProblem) : FileTree::walkToParent(path);
    if (walk.missing || walk.problem) {
        *error = walk.problem ? *walk.problem : std::string("lies in a folder that is missing");
        return UniqueFd();
    }
    if (auto problem = strict() ? ownFolderProblem(walk.parent.get()) : std::nullopt) {
        *error = *problem;
        return UniqueFd();
    }
    UniqueFd folder(::openat(walk.parent.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        *error = "lies in a folder that cannot be opened: " + std::string(std::strerror(errno));
    return folder;
}

UniqueFd TrustedFile::open(const std::string& path, std::size_t maxBytes, std::string* error, bool* missing,
                           struct stat* info)
{
    if (missing != nullptr)
        *missing = false;
    const bool asRoot = strict();
    FileTree::Walk walk = asRoot ? FileTree::walkToParent(path, folderProblem) : FileTree::walkToParent(path);
    if (walk.missing) {
        if (missing != nullptr)
            *missing = true;
        *error = "is missing";
        return UniqueFd();
    }
    if (walk.problem) {
        *error = *walk.problem;
        return UniqueFd();
    }
    if (auto problem = asRoot ? ownFolderProblem(walk.parent.get()) : std::nullopt) {
        *error = *problem;
        return UniqueFd();
    }
    UniqueFd file(::openat(walk.parent.get(), walk.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT && missing != nullptr)
            *missing = true;
        *error = errno == ELOOP ? std::string("is a symbolic link")
                 : errno == ENOENT ? std::string("is missing")
                                   : std::string(std::strerror(errno));
        return UniqueFd();
    }
    struct stat& st = *info;
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "is not a regular file";
        return UniqueFd();
    }
    if (st.st_uid != 0 && (asRoot || st.st_uid != ::geteuid())) {
        *error = asRoot ? "is not owned by root" : "is owned by another user";
        return UniqueFd();
    }
    if (writableByOthers(st)) {
        *error = "is writable by group or others";
        return UniqueFd();
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        *error = "is larger than the " + sizeText(maxBytes) + " it may hold";
        return UniqueFd();
    }
    return file;
}

bool TrustedFile::check(const std::string& path, std::size_t maxBytes, std::string* error, bool* missing)
{
    struct stat st {};
    return open(path, maxBytes, error, missing, &st).valid();
}

std::optional<TrustedFile::Contents> TrustedFile::read(const std::string& path, std::size_t maxBytes,
                                                       std::string* error, bool* missing)
{
    struct stat st {};
    const UniqueFd file = open(path, maxBytes, error, missing, &st);
    if (!file.valid())
        return std::nullopt;
    auto bytes = FileTree::readAll(file.get(), maxBytes);
    if (!bytes) {
        *error = "cannot be read";
        return std::nullopt;
    }
    return Contents{std::move(*bytes), static_cast<unsigned long>(st.st_uid), static_cast<unsigned long>(st.st_gid)};
}

}  // namespace scripthelper
