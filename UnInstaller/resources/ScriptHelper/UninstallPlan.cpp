#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"

#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "platform/foundation/PropertyList.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

std::optional<UninstallPlan> UninstallPlan::load(const std::string& path, std::optional<unsigned long> requiredOwner,
                                                 std::string* error)
{
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT)
            *error = "is missing";
        else if (errno == ELOOP)
            *error = "is a symbolic link";
        else
            *error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "is not a regular file";
        return std::nullopt;
    }
    if (::geteuid() == 0 && st.st_uid != 0 && (!requiredOwner || st.st_uid != *requiredOwner)) {
        *error = "does not belong to the owner of the home folder";
        return std::nullopt;
    }
    const auto bytes = FileTree::readAll(file.get(), platform::kMaxPropertyListBytes);
    if (!bytes) {
        *error = "is not a property list with a dictionary at its root";
        return std::nullopt;
    }
    return fromBytes(*bytes, error);
}

std::optional<UninstallPlan> UninstallPlan::fromBytes(std::string_view bytes, std::string* error)
{
    const auto root = platform::parsePropertyList(bytes);
    const platform::PlistDictionary* dictionary = root ? root->asDictionary() : nullptr;
    if (dictionary == nullptr) {
        *error = "is not a property list with a dictionary at its root";
        return std::nullopt;
    }
    const platform::PlistArray* apps = dictionary->arrayForKey("UnInstallApps");
    if (apps == nullptr) {
        *error = "has no UnInstallApps list";
        return std::nullopt;
    }
    UninstallPlan plan;
    for (const platform::PlistValue& value : *apps) {
        Entry entry;
        if (const platform::PlistDictionary* item = value.asDictionary()) {
            if (const std::string* uuid = item->stringForKey("UUID"))
                entry.uuid = *uuid;
            if (const std::string* unInstallPath = item->stringForKey("UnInstallPath"))
                entry.unInstallPath = *unInstallPath;
        }
        plan.m_entries.push_back(std::move(entry));
    }
    return plan;
}

}  // namespace scripthelper
