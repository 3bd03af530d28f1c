#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"

#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

namespace {

/// Why a folder or file on the way to the plan may not be trusted, or none.
std::optional<std::string> ownerProblem(const struct stat& st, std::optional<unsigned long> requiredOwner)
{
    if (::geteuid() != 0 || st.st_uid == 0 || (requiredOwner && st.st_uid == *requiredOwner))
        return std::nullopt;
    return std::string("does not belong to the owner of the home folder");
}

/// Opens name in folder without following a symbolic link; the error text in *error otherwise.
UniqueFd openStep(int folder, const char* name, int flags, std::string* error)
{
    UniqueFd fd(::openat(folder, name, flags | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT)
            *error = "is missing";
        else if (errno == ELOOP || errno == ENOTDIR)
            *error = "is reached through a symbolic link or is not what it should be";
        else
            *error = std::strerror(errno);
    }
    return fd;
}

}  // namespace

std::optional<UninstallPlan> UninstallPlan::load(const std::string& homeFolder, const std::string& name,
                                                 std::optional<unsigned long> requiredOwner, std::string* error,
                                                 std::size_t maxEntries)
{
    const std::optional<std::string> bytes = readPlanFile(homeFolder, name, requiredOwner, error);
    if (!bytes)
        return std::nullopt;
    return fromBytes(*bytes, error, maxEntries);
}

std::optional<std::string> UninstallPlan::readPlanFile(const std::string& homeFolder, const std::string& name,
                                                       std::optional<unsigned long> requiredOwner, std::string* error)
{
    // The home folder comes from the caller's account; below it nothing is followed.
    const UniqueFd home(::open(homeFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!home.valid()) {
        *error = "cannot be reached: the home folder cannot be opened";
        return std::nullopt;
    }
    std::string stepError;
    const UniqueFd library = openStep(home.get(), "Library", O_PATH | O_DIRECTORY, &stepError);
    struct stat folder {};
    if (!library.valid() || ::fstat(library.get(), &folder) != 0 || ownerProblem(folder, requiredOwner)) {
        *error = "cannot be reached: ~/Library " +
                 (library.valid() ? *ownerProblem(folder, requiredOwner) : stepError);
        return std::nullopt;
    }
    const UniqueFd preferences = openStep(library.get(), "Preferences", O_PATH | O_DIRECTORY, &stepError);
    if (!preferences.valid() || ::fstat(preferences.get(), &folder) != 0 || ownerProblem(folder, requiredOwner)) {
        *error = "cannot be reached: ~/Library/Preferences " +
                 (preferences.valid() ? *ownerProblem(folder, requiredOwner) : stepError);
        return std::nullopt;
    }
    const UniqueFd file(::openat(preferences.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
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
    if (auto problem = ownerProblem(st, requiredOwner)) {
        *error = *problem;
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(st.st_size) > platform::kMaxPropertyListBytes) {
        *error = "is larger than the " + std::to_string(platform::kMaxPropertyListBytes >> 20) +
                 " MiB a plan may hold";
        return std::nullopt;
    }
    auto bytes = FileTree::readAll(file.get(), platform::kMaxPropertyListBytes);
    if (!bytes) {
        *error = "cannot be read whole";
        return std::nullopt;
    }
    return bytes;
}

std::optional<UninstallPlan> UninstallPlan::fromBytes(std::string_view bytes, std::string* error,
                                                      std::size_t maxEntries)
{
    // Only what the plan is used for is built: each entry's UUID and UnInstallPath. An array
    // where the root's dictionary is expected is kept empty.
    // Entries past maxEntries are counted as they are read and dropped at once, so a plan of a
    // million entries never holds more than maxEntries of them.
    using Selection = platform::PlistSelection;
    std::size_t seen = 0;
    Selection entries = Selection::none().key("UUID").key("UnInstallPath");
    entries.keepIf([&seen, maxEntries](const platform::PlistValue& value) {
        // The list itself is tested too, after its elements.
        return value.type() == platform::PlistValue::Type::Array || ++seen <= maxEntries;
    });
    const Selection planFields = Selection::none().onlyDictionaries().key("UnInstallApps", entries);
    const auto root = platform::parsePropertyList(bytes, nullptr, nullptr, &planFields);
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
    plan.m_listed = std::max(apps->size(), seen);
    if (plan.m_listed > maxEntries)
        return plan;
    plan.m_entries.reserve(apps->size());
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
