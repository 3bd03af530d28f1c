#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"
#include "platform/foundation/KeyHash.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/SearchPaths.h"

#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>

namespace scripthelper {

namespace {

constexpr const char* kListedNameMark = "vLX";

/// What is to become of one plan entry.
struct Decision {
    std::string label;
    std::string uuid;
    std::string installPath;
    std::string unInstallPath;
    std::optional<std::string> refusal;
    bool missing = false;
};

/// Keeps output to one line per action whatever the plan or the registry holds: every control
/// character (C0, DEL, C1) becomes "?".
std::string printable(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const PathPolicy::Character c = PathPolicy::characterAt(text, i);
        if (c.control)
            result += '?';
        else
            result.append(text, i, c.length);
        i += c.length;
    }
    return result;
}

std::optional<unsigned long> ownerOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<unsigned long>(st.st_uid);
}

/// Every folder that holds path or is path, normalized, from the outermost down.
std::vector<std::string> selfAndAncestors(const std::string& path)
{
    std::vector<std::string> result;
    std::string current;
    for (const std::string& part : PathPolicy::components(path)) {
        current += "/" + part;
        result.push_back(current);
    }
    return result;
}

/// The registered install paths of the modules that stay, counted so that a module leaving is
/// taken out in time proportional to its path's depth: which folders hold such a path, and which
/// paths are install paths.
class StayingModules {
public:
    void add(const std::string& installPath, int delta)
    {
        const std::vector<std::string> folders = selfAndAncestors(PathPolicy::normalized(installPath));
        for (const std::string& folder : folders)
            m_holding[folder] += delta;
        if (!folders.empty())
            m_installed[folders.back()] += delta;
    }
    /// How many staying install paths lie at or inside folder.
    int inside(const std::string& folder) const
    {
        const auto it = m_holding.find(PathPolicy::normalized(folder));
        return it == m_holding.end() ? 0 : it->second;
    }
    /// How many staying install paths equal path.
    int at(const std::string& path) const
    {
        const auto it = m_installed.find(PathPolicy::normalized(path));
        return it == m_installed.end() ? 0 : it->second;
    }
    /// Whether a staying install path is path or holds it.
    bool holds(const std::string& path) const
    {
        for (const std::string& folder : selfAndAncestors(PathPolicy::normalized(path))) {
            if (at(folder) > 0)
                return true;
        }
        return false;
    }

private:
    std::unordered_map<std::string, int, platform::KeyHasher> m_holding;
    std::unordered_map<std::string, int, platform::KeyHasher> m_installed;
};

bool listedByTheUninstaller(const std::optional<std::string>& name)
{
    return name && name->find(kListedNameMark) != std::string::npos;
}

std::vector<Decision> checkEntries(const UninstallPlan& plan, const ModuleRegistry& registry,
                                   const PathPolicy& policy)
{
    std::vector<Decision> decisions;
    std::unordered_set<std::string, platform::KeyHasher> seen;
    for (std::size_t i = 0; i < plan.entries().size(); ++i) {
        const UninstallPlan::Entry& entry = plan.entries()[i];
        Decision d;
        d.label = entry.uuid ? *entry.uuid : "entry " + std::to_string(i + 1);
        if (!entry.uuid) {
            d.refusal = "has no UUID";
        } else if (!seen.insert(*entry.uuid).second) {
            d.refusal = "is listed more than once";
        } else if (!registry.contains(*entry.uuid)) {
            d.refusal = "is not in the registry";
        } else if (!listedByTheUninstaller(registry.moduleName(*entry.uuid))) {
            d.refusal = std::string("is not a module the uninstaller lists (its name lacks \"") + kListedNameMark +
                        "\")";
        } else if (!entry.unInstallPath) {
            d.refusal = "has no UnInstallPath";
        } else if (auto problem = PathPolicy::syntaxProblem(*entry.unInstallPath)) {
            d.refusal = "UnInstallPath \"" + *entry.unInstallPath + "\" " + *problem;
        } else {
            const std::optional<std::string> installPath = registry.installPath(*entry.uuid);
            if (!installPath) {
                d.refusal = "has no install path in the registry";
            } else if (auto pathProblem = PathPolicy::syntaxProblem(*installPath)) {
                d.refusal = "install path \"" + *installPath + "\" " + *pathProblem;
            } else if (*entry.unInstallPath != platform::stringByDeletingLastPathComponent(*installPath)) {
                d.refusal = "UnInstallPath " + *entry.unInstallPath +
                            " does not match the registry's install path " + *installPath;
            } else if (auto placeProblem = policy.placeProblem(*installPath)) {
                d.refusal = *installPath + " " + *placeProblem;
            } else {
                d.uuid = *entry.uuid;
                d.installPath = *installPath;
                d.unInstallPath = *entry.unInstallPath;
            }
        }
        decisions.push_back(std::move(d));
    }
    return decisions;
}

/// Refuses every accepted entry whose folder holds a module that stays; a refused entry's module
/// stays in turn, so this repeats until nothing changes. Then inspects what is left on disk.
/// Answers the modules that stay.
StayingModules refuseFoldersHoldingStayingModules(std::vector<Decision>& decisions,
                                                  const std::vector<ModuleRegistry::Module>& modules)
{
    std::unordered_set<std::string, platform::KeyHasher> leaving;
    for (const Decision& d : decisions) {
        if (!d.refusal)
            leaving.insert(d.uuid);
    }
    StayingModules staying;
    std::unordered_map<std::string, std::string, platform::KeyHasher> stayingAt;
    for (const ModuleRegistry::Module& module : modules) {
        if (leaving.count(module.uuid) == 0 && module.installPath) {
            staying.add(*module.installPath, 1);
            stayingAt.emplace(PathPolicy::normalized(*module.installPath), module.uuid);
        }
    }
    const auto refuse = [&](Decision& d, std::string reason) {
        d.refusal = std::move(reason);
        leaving.erase(d.uuid);
        staying.add(d.installPath, 1);
        stayingAt.emplace(PathPolicy::normalized(d.installPath), d.uuid);
    };
    // Only asked when an entry is refused for it.
    const auto stayingInside = [&](const std::string& folder) -> std::string {
        for (const ModuleRegistry::Module& module : modules) {
            if (leaving.count(module.uuid) == 0 && module.installPath &&
                PathPolicy::isInsideOrSame(*module.installPath, folder))
                return module.uuid + " at " + *module.installPath;
        }
        return "that stays";
    };

    for (bool changed = true; changed;) {
        changed = false;
        for (Decision& d : decisions) {
            if (d.refusal)
                continue;
            const std::string path = PathPolicy::normalized(d.installPath);
            if (staying.at(path) > 0) {
                refuse(d, d.installPath + " is also the install path of module " + stayingAt[path]);
                changed = true;
            } else if (staying.inside(path) > 0) {
                refuse(d, d.installPath + " holds module " + stayingInside(path));
                changed = true;
            }
        }
        if (changed)
            continue;

        std::set<FileTree::FileId> foreign;
        for (const ModuleRegistry::Module& module : modules) {
            if (module.installPath && staying.at(*module.installPath) > 0) {
                if (auto id = FileTree::identity(*module.installPath))
                    foreign.insert(*id);
            }
        }
        for (Decision& d : decisions) {
            if (d.refusal)
                continue;
            const FileTree::Inspection inspection = FileTree::inspect(d.installPath, foreign);
            if (inspection.problem) {
                refuse(d, d.installPath + " " + *inspection.problem);
                changed = true;
            }
            d.missing = inspection.missing;
        }
    }
    return staying;
}

/// Whether the entry's parent folder may go once empty: inside a folder where modules may live,
/// and neither holding nor inside the install path of a module that stays.
bool parentMayGo(const Decision& d, const StayingModules& staying, const PathPolicy& policy)
{
    return !PathPolicy::syntaxProblem(d.unInstallPath) && policy.isInsideModuleFolder(d.unInstallPath) &&
           staying.inside(d.unInstallPath) == 0 && !staying.holds(d.unInstallPath);
}

}  // namespace

void RemovalRun::say(const std::string& line)
{
    m_out << printable(line) << '\n';
    m_out.flush();
}

int RemovalRun::run()
{
    std::string error;
    const std::string registryFile = platform::resolveSystemPath(kRegistryPath);
    std::optional<ModuleRegistry> registry = ModuleRegistry::load(registryFile, &error);
    if (!registry) {
        say("refused: registry " + registryFile + " " + error + "; nothing removed");
        return kExitIncomplete;
    }

    const std::string home = platform::NSHomeDirectory();
    const std::string planFile = platform::stringByAppendingPathComponent(platform::preferencesDirectory(), kPlanName);
    const std::optional<UninstallPlan> plan = UninstallPlan::load(home, kPlanName, ownerOf(home), &error);
    if (!plan) {
        say("refused: plan " + planFile + " " + error + "; nothing removed");
        return kExitIncomplete;
    }
    if (plan->entries().empty()) {
        say("nothing to remove");
        return kExitDone;
    }

    const PathPolicy policy(platform::platformRoot(), PathPolicy::builtModuleFolders());
    const std::vector<ModuleRegistry::Module> modules = registry->modules();
    std::vector<Decision> decisions = checkEntries(*plan, *registry, policy);
    const StayingModules staying = refuseFoldersHoldingStayingModules(decisions, modules);

    // Entries leaving together may share a parent folder: it goes with the last of them.
    StayingModules notYetGone;
    for (const Decision& d : decisions) {
        if (!d.refusal)
            notYetGone.add(d.installPath, 1);
    }

    bool incomplete = false;
    bool registryChanged = false;
    bool stopped = false;
    for (Decision& d : decisions) {
        if (d.refusal) {
            say("skipped " + d.label + ": " + *d.refusal);
            incomplete = true;
            continue;
        }
        if (stopped) {
            say("skipped " + d.label + ": the registry could not be updated");
            continue;
        }
        const std::string name = PathPolicy::components(d.installPath).back();
        const auto parentFree = [&] {
            return parentMayGo(d, staying, policy) && notYetGone.inside(d.unInstallPath) == 0 &&
                   !notYetGone.holds(d.unInstallPath);
        };
        if (m_dryRun) {
            say(d.missing ? "would forget " + d.uuid + ": " + d.installPath + " is already gone"
                          : "would remove " + d.installPath);
            notYetGone.add(d.installPath, -1);
            if (!d.missing && parentFree() && FileTree::holdsOnly(d.unInstallPath, name))
                say("would remove empty folder " + d.unInstallPath);
            registryChanged = true;
            continue;
        }
        std::string failure;
        const FileTree::Outcome outcome = FileTree::remove(d.installPath, &failure);
        if (outcome == FileTree::Outcome::Failed) {
            say("failed " + d.uuid + ": " + failure);
            incomplete = true;
            continue;
        }
        // The registry forgets each module as soon as it is gone, before the removal is reported,
        // so that an interruption never leaves a removed module registered.
        registry->removeModule(d.uuid);
        const bool saved = registry->save(&error);
        say((outcome == FileTree::Outcome::Removed ? "removed " : "already gone ") + d.installPath);
        if (!saved) {
            say("failed: registry not updated: " + error);
            incomplete = true;
            stopped = true;
            continue;
        }
        registryChanged = true;
        notYetGone.add(d.installPath, -1);
        if (parentFree() && FileTree::removeFolderIfEmpty(d.unInstallPath))
            say("removed empty folder " + d.unInstallPath);
    }

    if (registryChanged)
        say(m_dryRun ? "would update registry" : "registry updated");
    return incomplete ? kExitIncomplete : kExitDone;
}

}  // namespace scripthelper
