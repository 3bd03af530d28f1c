#pragma once

#include "platform/foundation/PlistValue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace scripthelper {
class PathPolicy;
}

/// The registry's modules as the uninstaller offers them, shared by the window and the command
/// line: the modules whose name holds "vLX" and that name an install path, in registry order, each
/// judged the way the removal program judges it.
class RemovableModules {
public:
    /// Why a module cannot be removed, if it cannot.
    enum class Refusal { None, UnsafePath, OutsideModuleFolders, SettingUnusable };

    struct Module {
        std::string id;
        std::string name;
        std::string installPath;
        Refusal refusal = Refusal::None;
    };

    /// The fixed path of the registry, before it is resolved under the machine root.
    static constexpr const char* kRegistryPath = "/Library/Preferences/com.tavix.KEPL2.plist";

    /// Reads the folders where modules may live (the administrator's setting).
    RemovableModules();
    ~RemovableModules();
    RemovableModules(const RemovableModules&) = delete;
    RemovableModules& operator=(const RemovableModules&) = delete;

    /// The registry's module dictionary with only the listed modules' names and install paths
    /// built; none when the file is missing (*problem stays unset) or cannot be used (*problem
    /// says why, and a line is logged).
    static std::optional<platform::PlistDictionary> readRegistry(std::optional<std::string>* problem);

    /// The listed modules of a module dictionary, judged.
    std::vector<Module> modulesOf(const platform::PlistDictionary& modules) const;
    /// Calls visit with each listed module of a module dictionary in turn, judged, given the
    /// dictionary's own string values (each a string), which a caller may share rather than copy.
    void forEachModule(const platform::PlistDictionary& modules,
                       const std::function<void(const platform::PlistValue& id, const platform::PlistValue& name,
                                                const platform::PlistValue& installPath, Refusal refusal)>& visit) const;

    /// Why a module at installPath cannot be removed.
    Refusal judge(const std::string& installPath) const;

    /// The folders where modules may live, joined by ", ".
    std::string folderList() const;
    /// Why the setting cannot be used (empty when it can).
    const std::string& settingProblem() const { return m_settingProblem; }

    /// A reason in English, for logs and the command line.
    std::string describe(Refusal refusal) const;

private:
    std::unique_ptr<scripthelper::PathPolicy> m_policy;
    bool m_settingUsable = false;
    std::string m_settingProblem;
};
