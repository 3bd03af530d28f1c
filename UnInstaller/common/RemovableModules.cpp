#include "UnInstaller/common/RemovableModules.h"

#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"

#include "UnInstaller/resources/ScriptHelper/ModuleFolders.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/SearchPaths.h"

namespace {

constexpr const char* kModulesKey = "KEP2_KEY_MODULES";
constexpr const char* kModuleNameKey = "ModuleName";
constexpr const char* kInstallPathKey = "InstallPath";
constexpr const char* kListedNameMark = "vLX";

/// A registry entry that the uninstaller lists: a dictionary whose name carries the listed mark
/// and which names its install path.
bool isListedModule(const platform::PlistValue& value)
{
    const platform::PlistDictionary* entry = value.asDictionary();
    const std::string* name = entry ? entry->stringForKey(kModuleNameKey) : nullptr;
    return name && name->find(kListedNameMark) != std::string::npos && entry->stringForKey(kInstallPathKey);
}

}  // namespace

RemovableModules::RemovableModules()
{
    const std::optional<std::vector<std::string>> folders = scripthelper::ModuleFolders::load(&m_settingProblem);
    m_settingUsable = folders.has_value();
    if (!m_settingUsable)
        platform::NSLog("The module folders are not known: %@.", {m_settingProblem});
    m_policy = std::make_unique<scripthelper::PathPolicy>("/", folders.value_or(std::vector<std::string>()));
}

RemovableModules::~RemovableModules() = default;

std::optional<platform::PlistDictionary> RemovableModules::readRegistry(std::optional<std::string>* problem)
{
    const std::string path = platform::resolveSystemPath(kRegistryPath);
    // Judged as the removal program judges it, so that nothing is offered that it would refuse.
    bool missing = false;
    std::string untrusted;
    if (!scripthelper::TrustedFile::check(path, platform::kMaxPropertyListBytes, &untrusted, &missing)) {
        if (missing)
            return std::nullopt;
        platform::NSLog("The module registry %@ was not read: it %@.", {path, untrusted});
        if (problem)
            *problem = untrusted;
        return std::nullopt;
    }
    // Only what the rows show is built: the modules that are listed, each with its name and
    // install path. Where a dictionary is expected (the root, the modules, each module) an array
    // is kept empty rather than built.
    using Selection = platform::PlistSelection;
    static const Selection kRowFields = Selection::none().onlyDictionaries().key(
        kModulesKey,
        Selection::none().onlyDictionaries().anyOtherKey(
            Selection::none().onlyDictionaries().key(kModuleNameKey).key(kInstallPathKey).keepIf(isListedModule)));
    platform::PlistReadFailure failure = platform::PlistReadFailure::None;
    std::optional<platform::PlistValue> root = platform::readPropertyListFile(path, nullptr, &failure, &kRowFields);
    if (!root) {
        // A missing registry means nothing is installed; any other refusal is said and logged.
        if (failure == platform::PlistReadFailure::Unreadable && !platform::fileExistsAtPath(path))
            return std::nullopt;
        const std::string reason = "is " + std::string(platform::describePlistReadFailure(failure));
        platform::NSLog("The module registry %@ was not read: it %@.", {path, reason});
        if (problem)
            *problem = reason;
        return std::nullopt;
    }
    platform::PlistDictionary* rootDict = root->asDictionary();
    platform::PlistValue* modules = rootDict ? rootDict->find(kModulesKey) : nullptr;
    if (!modules || !modules->asDictionary()) {
        platform::NSLog("The module registry %@ was not read: it holds no %@ dictionary.", {path, kModulesKey});
        if (problem)
            *problem = std::string("holds no ") + kModulesKey + " dictionary";
        return std::nullopt;
    }
    return std::move(*modules->asDictionary());
}

std::vector<RemovableModules::Module> RemovableModules::modulesOf(const platform::PlistDictionary& modules) const
{
    std::vector<Module> result;
    result.reserve(modules.size());
    forEachModule(modules, [&](const platform::PlistValue& id, const platform::PlistValue& name,
                               const platform::PlistValue& installPath, Refusal refusal) {
        result.push_back({*id.asString(), *name.asString(), *installPath.asString(), refusal});
    });
    return result;
}

void RemovableModules::forEachModule(
    const platform::PlistDictionary& modules,
    const std::function<void(const platform::PlistValue&, const platform::PlistValue&, const platform::PlistValue&,
                             Refusal)>& visit) const
{
    for (std::size_t i = 0; i < modules.size(); ++i) {
        const platform::PlistDictionary* entry = modules.valueAt(i).asDictionary();
        const platform::PlistValue* name = entry ? entry->find(kModuleNameKey) : nullptr;
        const platform::PlistValue* installPath = entry ? entry->find(kInstallPathKey) : nullptr;
        const std::string* nameText = name ? name->asString() : nullptr;
        const std::string* pathText = installPath ? installPath->asString() : nullptr;
        if (!nameText || nameText->find(kListedNameMark) == std::string::npos || !pathText)
            continue;
        visit(modules.keyValueAt(i), *name, *installPath, judge(*pathText));
    }
}

RemovableModules::Refusal RemovableModules::judge(const std::string& installPath) const
{
    if (scripthelper::PathPolicy::syntaxProblem(installPath))
        return Refusal::UnsafePath;
    if (!m_settingUsable)
        return Refusal::SettingUnusable;
    if (m_policy->placeProblem(installPath))
        return Refusal::OutsideModuleFolders;
    return Refusal::None;
}

std::string RemovableModules::folderList() const
{
    std::string list;
    for (const std::string& folder : m_policy->moduleFolders())
        list += (list.empty() ? "" : ", ") + folder;
    return list;
}

std::string RemovableModules::describe(Refusal refusal) const
{
    switch (refusal) {
    case Refusal::None:
        return std::string();
    case Refusal::UnsafePath:
        return "its install path is not a plain absolute path";
    case Refusal::OutsideModuleFolders:
        return "it lies outside the folders where modules may be removed (" + folderList() + ")";
    case Refusal::SettingUnusable:
        return m_settingProblem;
    }
    return std::string();
}
