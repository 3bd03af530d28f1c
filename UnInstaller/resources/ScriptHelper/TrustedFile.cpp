#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"

#include "UnInstaller/resources/ScriptHelper/FileTree.h"

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

}  // namespace

UniqueFd TrustedFile::openFolderOf(const std::string& path, std::string* error)
{
    FileTree::Walk walk = ::geteuid() == 0 ? FileTree::walkToParent(path, folderProblem) : FileTree::walkToParent(path);
    if (walk.missing || walk.problem) {
        *error = walk.problem ? *walk.problem : std::string("lies in a folder that is missing");
        return UniqueFd();
    }
    UniqueFd folder(::openat(walk.parent.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        *error = "lies in a folder that cannot be opened: " + std::string(std::strerror(errno));
    return folder;
}

std::optional<TrustedFile::Contents> TrustedFile::read(const std::string& path, std::size_t maxBytes,
                                                       std::string* error, bool* missing)
{
    if (missing != nullptr)
        *missing = false;
    const bool asRoot = ::geteuid() == 0;
    FileTree::Walk walk = asRoot ? FileTree::walkToParent(path, folderProblem) : FileTree::walkToParent(path);
    if (walk.missing) {
        if (missing != nullptr)
            *missing = true;
        *error = "is missing";
        return std::nullopt;
    }
    if (walk.problem) {
        *error = *walk.problem;
        return std::nullopt;
    }
    const UniqueFd file(
        ::openat(walk.parent.get(), walk.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT && missing != nullptr)
            *missing = true;
        *error = errno == ELOOP ? std::string("is a symbolic link")
                 : errno == ENOENT ? std::string("is missing")
                                   : std::string(std::strerror(errno));
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "is not a regular file";
        return std::nullopt;
    }
    if (st.st_uid != 0 && (asRoot || st.st_uid != ::geteuid())) {
        *error = asRoot ? "is not owned by root" : "is owned by another user";
        return std::nullopt;
    }
    if (writableByOthers(st)) {
        *error = "is writable by group or others";
        return std::nullopt;
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        *error = "is larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MiB";
        return std::nullopt;
    }
    auto bytes = FileTree::readAll(file.get(), maxBytes);
    if (!bytes) {
        *error = "cannot be read";
        return std::nullopt;
    }
    return Contents{std::move(*bytes), static_cast<unsigned long>(st.st_uid), static_cast<unsigned long>(st.st_gid)};
}

}  // namespace scripthelper
