#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/SearchPaths.h"

#include <optional>
#include <set>
#include <vector>

#include <sys/stat.h>

namespace scripthelper {

namespace {

/// What is to become of one plan entry.
struct Decision {
    std::string label;
    std::string uuid;
    std::string installPath;
    std::string unInstallPath;
    std::optional<std::string> refusal;
    bool missing = false;
};

/// Keeps output to one line per action whatever the plan or the registry holds.
std::string printable(const std::string& text)
{
    std::string result = text;
    for (char& c : result) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = '?';
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

std::vector<Decision> checkEntries(const UninstallPlan& plan, const ModuleRegistry& registry,
                                   const PathPolicy& policy)
{
    std::vector<Decision> decisions;
    std::set<std::string> seen;
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
            } else if (auto protectedProblem = policy.protectedProblem(*installPath)) {
                d.refusal = *installPath + " " + *protectedProblem;
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
void refuseFoldersHoldingStayingModules(std::vector<Decision>& decisions, const ModuleRegistry& registry)
{
    for (;;) {
        std::set<std::string> leaving;
        for (const Decision& d : decisions) {
            if (!d.refusal)
                leaving.insert(d.uuid);
        }
        std::vector<ModuleRegistry::Module> staying;
        for (ModuleRegistry::Module& module : registry.modules()) {
            if (leaving.count(module.uuid) == 0 && module.installPath)
                staying.push_back(std::move(module));
        }

        bool changed = false;
        for (Decision& d : decisions) {
            if (d.refusal)
                continue;
            for (const ModuleRegistry::Module& module : staying) {
                if (PathPolicy::normalized(*module.installPath) == PathPolicy::normalized(d.installPath)) {
                    d.refusal = d.installPath + " is also the install path of module " + module.uuid;
                } else if (PathPolicy::isInsideOrSame(*module.installPath, d.installPath)) {
                    d.refusal = d.installPath + " holds module " + module.uuid + " at " + *module.installPath;
                }
                if (d.refusal) {
                    changed = true;
                    break;
                }
            }
        }
        if (changed)
            continue;

        std::set<FileTree::FileId> foreign;
        for (const ModuleRegistry::Module& module : staying) {
            if (auto id = FileTree::identity(*module.installPath))
                foreign.insert(*id);
        }
        for (Decision& d : decisions) {
            if (d.refusal)
                continue;
            const FileTree::Inspection inspection = FileTree::inspect(d.installPath, foreign);
            if (inspection.problem) {
                d.refusal = d.installPath + " " + *inspection.problem;
                changed = true;
            }
            d.missing = inspection.missing;
        }
        if (!changed)
            return;
    }
}

/// Whether the entry's parent folder may go once empty: not protected, and neither holding nor
/// inside the folder of a module that stays.
bool parentMayGo(const Decision& d, const ModuleRegistry& registry, const PathPolicy& policy,
                 const std::set<std::string>& gone)
{
    if (PathPolicy::syntaxProblem(d.unInstallPath) || policy.protectedProblem(d.unInstallPath))
        return false;
    for (const ModuleRegistry::Module& module : registry.modules()) {
        if (module.uuid == d.uuid || gone.count(module.uuid) != 0 || !module.installPath)
            continue;
        if (PathPolicy::isInsideOrSame(*module.installPath, d.unInstallPath) ||
            PathPolicy::isInsideOrSame(d.unInstallPath, *module.installPath))
            return false;
    }
    return true;
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
        return 1;
    }

    const std::string home = platform::NSHomeDirectory();
    const std::string planFile = platform::stringByAppendingPathComponent(platform::preferencesDirectory(), kPlanName);
    const std::optional<UninstallPlan> plan = UninstallPlan::load(planFile, ownerOf(home), &error);
    if (!plan) {
        say("refused: plan " + planFile + " " + error + "; nothing removed");
        return 1;
    }
    if (plan->entries().empty()) {
        say("nothing to remove");
        return 0;
    }

    const PathPolicy policy(platform::platformRoot(), home);
    std::vector<Decision> decisions = checkEntries(*plan, *registry, policy);
    refuseFoldersHoldingStayingModules(decisions, *registry);

    bool incomplete = false;
    std::set<std::string> gone;
    for (const Decision& d : decisions) {
        if (d.refusal) {
            say("skipped " + d.label + ": " + *d.refusal);
            incomplete = true;
            continue;
        }
        const std::string name = PathPolicy::components(d.installPath).back();
        if (m_dryRun) {
            say(d.missing ? "would forget " + d.uuid + ": " + d.installPath + " is already gone"
                          : "would remove " + d.installPath);
            gone.insert(d.uuid);
            if (!d.missing && parentMayGo(d, *registry, policy, gone) && FileTree::holdsOnly(d.unInstallPath, name))
                say("would remove empty folder " + d.unInstallPath);
            continue;
        }
        std::string failure;
        switch (FileTree::remove(d.installPath, &failure)) {
        case FileTree::Outcome::Removed:
            say("removed " + d.installPath);
            break;
        case FileTree::Outcome::Missing:
            say("already gone " + d.installPath);
            break;
        case FileTree::Outcome::Failed:
            say("failed " + d.uuid + ": " + failure);
            incomplete = true;
            continue;
        }
        gone.insert(d.uuid);
        if (parentMayGo(d, *registry, policy, gone) && FileTree::removeFolderIfEmpty(d.unInstallPath))
            say("removed empty folder " + d.unInstallPath);
    }

    if (!gone.empty()) {
        if (m_dryRun) {
            say("would update registry");
        } else {
            for (const std::string& uuid : gone)
                registry->removeModule(uuid);
            if (registry->save(&error)) {
                say("registry updated");
            } else {
                say("failed: registry not updated: " + error);
                incomplete = true;
            }
        }
    }
    return incomplete ? 1 : 0;
}

}  // namespace scripthelper
