#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"

#include "UnInstaller/resources/ScriptHelper/FileTree.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

namespace {

constexpr const char* kModulesKey = "KEP2_KEY_MODULES";
constexpr const char* kInstallPathKey = "InstallPath";
constexpr const char* kModuleNameKey = "ModuleName";

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

std::optional<ModuleRegistry> ModuleRegistry::load(const std::string& path, std::string* error)
{
    const bool asRoot = ::geteuid() == 0;
    FileTree::Walk walk = asRoot ? FileTree::walkToParent(path, folderProblem) : FileTree::walkToParent(path);
    if (walk.missing) {
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
        *error = errno == ELOOP ? std::string("is a symbolic link") : std::string(std::strerror(errno));
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
    const auto bytes = FileTree::readAll(file.get(), platform::kMaxPropertyListBytes);
    if (!bytes) {
        *error = "cannot be read";
        return std::nullopt;
    }
    std::optional<ModuleRegistry> registry = fromBytes(*bytes, error);
    if (!registry)
        return std::nullopt;
    registry->m_path = path;
    registry->m_owner = st.st_uid;
    registry->m_group = st.st_gid;
    return registry;
}

std::optional<ModuleRegistry> ModuleRegistry::fromBytes(std::string_view bytes, std::string* error)
{
    ModuleRegistry registry;
    auto root = platform::parsePropertyList(bytes, &registry.m_format);
    if (!root || root->asDictionary() == nullptr) {
        *error = "is not a property list with a dictionary at its root";
        return std::nullopt;
    }
    registry.m_root = std::move(*root);
    if (registry.moduleDictionary() == nullptr) {
        *error = std::string("has no ") + kModulesKey + " dictionary";
        return std::nullopt;
    }
    return registry;
}

const platform::PlistDictionary* ModuleRegistry::moduleDictionary() const
{
    const platform::PlistDictionary* root = m_root.asDictionary();
    return root != nullptr ? root->dictionaryForKey(kModulesKey) : nullptr;
}

std::vector<ModuleRegistry::Module> ModuleRegistry::modules() const
{
    std::vector<Module> result;
    const platform::PlistDictionary* modules = moduleDictionary();
    if (modules == nullptr)
        return result;
    for (std::size_t i = 0; i < modules->size(); ++i) {
        Module module{modules->keyAt(i), std::nullopt, std::nullopt};
        if (const platform::PlistDictionary* entry = modules->valueAt(i).asDictionary()) {
            if (const std::string* installPath = entry->stringForKey(kInstallPathKey))
                module.installPath = *installPath;
            if (const std::string* name = entry->stringForKey(kModuleNameKey))
                module.name = *name;
        }
        result.push_back(std::move(module));
    }
    return result;
}

bool ModuleRegistry::contains(const std::string& uuid) const
{
    const platform::PlistDictionary* modules = moduleDictionary();
    return modules != nullptr && modules->contains(uuid);
}

std::optional<std::string> ModuleRegistry::installPath(const std::string& uuid) const
{
    const platform::PlistDictionary* modules = moduleDictionary();
    const platform::PlistDictionary* entry = modules != nullptr ? modules->dictionaryForKey(uuid) : nullptr;
    const std::string* path = entry != nullptr ? entry->stringForKey(kInstallPathKey) : nullptr;
    if (path == nullptr)
        return std::nullopt;
    return *path;
}

std::optional<std::string> ModuleRegistry::moduleName(const std::string& uuid) const
{
    const platform::PlistDictionary* modules = moduleDictionary();
    const platform::PlistDictionary* entry = modules != nullptr ? modules->dictionaryForKey(uuid) : nullptr;
    const std::string* name = entry != nullptr ? entry->stringForKey(kModuleNameKey) : nullptr;
    if (name == nullptr)
        return std::nullopt;
    return *name;
}

void ModuleRegistry::removeModule(const std::string& uuid)
{
    platform::PlistDictionary* root = m_root.asDictionary();
    platform::PlistValue* modules = root != nullptr ? root->find(kModulesKey) : nullptr;
    if (modules != nullptr && modules->asDictionary() != nullptr)
        modules->asDictionary()->erase(uuid);
}

bool ModuleRegistry::save(std::string* error) const
{
    if (!platform::writePropertyListAtomically(m_root, m_path, m_format)) {
        *error = "cannot write " + m_path;
        return false;
    }
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0 && (st.st_uid != m_owner || st.st_gid != m_group) &&
        ::lchown(m_path.c_str(), static_cast<uid_t>(m_owner), static_cast<gid_t>(m_group)) != 0) {
        *error = "cannot give " + m_path + " back its owner";
        return false;
    }
    return true;
}

}  // namespace scripthelper
