#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"

#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

namespace {

constexpr const char* kModulesKey = "KEP2_KEY_MODULES";
constexpr const char* kInstallPathKey = "InstallPath";
constexpr const char* kModuleNameKey = "ModuleName";
constexpr const char* kReceiptKey = "Receipt";
constexpr const char* kTokenKey = "InstallToken";

}  // namespace

std::optional<ModuleRegistry> ModuleRegistry::load(const std::string& path, std::string* error)
{
    const std::optional<TrustedFile::Contents> contents = TrustedFile::read(path, platform::kMaxPropertyListBytes, error);
    if (!contents)
        return std::nullopt;
    return fromContents(path, *contents, error);
}

std::optional<ModuleRegistry> ModuleRegistry::fromContents(const std::string& path,
                                                           const TrustedFile::Contents& contents, std::string* error)
{
    std::optional<ModuleRegistry> registry = fromBytes(contents.bytes, error);
    if (!registry)
        return std::nullopt;
    registry->m_path = path;
    registry->m_owner = contents.owner;
    registry->m_group = contents.group;
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

std::optional<ModuleRegistry> ModuleRegistry::loadOrCreate(const std::string& path, std::string* error)
{
    bool missing = false;
    std::string readError;
    const std::optional<TrustedFile::Contents> contents =
        TrustedFile::read(path, platform::kMaxPropertyListBytes, &readError, &missing);
    if (!contents && missing) {
        ModuleRegistry registry;
        platform::PlistDictionary root;
        root.set(kModulesKey, platform::PlistDictionary());
        registry.m_root = std::move(root);
        registry.m_path = path;
        registry.m_owner = ::geteuid();
        registry.m_group = ::getegid();
        return registry;
    }
    if (!contents) {
        *error = readError;
        return std::nullopt;
    }
    return fromContents(path, *contents, error);
}

std::optional<Receipt> ModuleRegistry::receipt(const std::string& uuid) const
{
    const platform::PlistDictionary* modules = moduleDictionary();
    const platform::PlistDictionary* entry = modules != nullptr ? modules->dictionaryForKey(uuid) : nullptr;
    const platform::PlistValue* items = entry != nullptr ? entry->find(kReceiptKey) : nullptr;
    if (items == nullptr)
        return std::nullopt;
    std::optional<std::vector<Receipt::Item>> read = Receipt::itemsFromPlist(*items);
    if (!read)
        return std::nullopt;
    Receipt result;
    result.items = std::move(*read);
    if (const std::string* token = entry->stringForKey(kTokenKey))
        result.token = *token;
    return result;
}

void ModuleRegistry::setModule(const std::string& uuid, const std::string& name, const std::string& installPath,
                               const Receipt& receipt)
{
    platform::PlistDictionary* root = m_root.asDictionary();
    platform::PlistValue* value = root != nullptr ? root->find(kModulesKey) : nullptr;
    platform::PlistDictionary* modules = value != nullptr ? value->asDictionary() : nullptr;
    if (modules == nullptr)
        return;
    platform::PlistDictionary entry;
    entry.set(kModuleNameKey, name);
    entry.set(kInstallPathKey, installPath);
    entry.set(kReceiptKey, receipt.toPlist());
    entry.set(kTokenKey, receipt.token);
    modules->set(uuid, std::move(entry));
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

void ModuleRegistry::forEachInstallPath(
    const std::function<void(const std::string& uuid, const std::string* installPath)>& visit) const
{
    const platform::PlistDictionary* modules = moduleDictionary();
    if (modules == nullptr)
        return;
    for (std::size_t i = 0; i < modules->size(); ++i) {
        const platform::PlistDictionary* entry = modules->valueAt(i).asDictionary();
        visit(modules->keyAt(i), entry != nullptr ? entry->stringForKey(kInstallPathKey) : nullptr);
    }
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

std::size_t ModuleRegistry::moduleCount() const
{
    const platform::PlistDictionary* modules = moduleDictionary();
    return modules != nullptr ? modules->size() : 0;
}

std::size_t ModuleRegistry::removeModules(const std::vector<std::string>& uuids)
{
    platform::PlistDictionary* root = m_root.asDictionary();
    platform::PlistValue* value = root != nullptr ? root->find(kModulesKey) : nullptr;
    platform::PlistDictionary* modules = value != nullptr ? value->asDictionary() : nullptr;
    return modules != nullptr ? modules->eraseKeys(uuids) : 0;
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
