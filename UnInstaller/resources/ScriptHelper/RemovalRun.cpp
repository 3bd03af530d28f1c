#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include "UnInstaller/resources/ScriptHelper/CrashPoint.h"
#include "UnInstaller/resources/ScriptHelper/FileTree.h"
#include "UnInstaller/resources/ScriptHelper/InstallRecovery.h"
#include "UnInstaller/resources/ScriptHelper/ModuleFolders.h"
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/ReceiptRemoval.h"
#include "UnInstaller/resources/ScriptHelper/RemovalJournal.h"
#include "UnInstaller/resources/ScriptHelper/QuickSieve.h"
#include "UnInstaller/resources/ScriptHelper/StayingModules.h"
#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"
#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"
#include "platform/foundation/KeyHash.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/SearchPaths.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>

namespace scripthelper {

namespace {

constexpr const char* kListedNameMark = "vLX";

using Kind = RemovalEvent::Kind;

/// What is to become of one plan entry.
struct Decision {
    std::string label;
    std::string uuid;
    std::string installPath;
    std::string unInstallPath;
    std::optional<std::string> refusal;
    /// The registry does not list the module (any more).
    bool notListed = false;
    /// The plan names the module again; the first entry speaks for it.
    bool repeated = false;
    /// The module's folder no longer exists.
    bool missing = false;
    std::string holdName;
    /// The install path, examined and removed through the folder that holds it.
    FileTree::Target target;
};

/// The registry a run left to the end of its process, reachable from here until then.
const ModuleRegistry* g_leftToTheEnd = nullptr;

/// Leaves the registry, once the run is done with it, to the end of the process when asked to.
struct LeaveToTheEnd {
    std::optional<ModuleRegistry>& registry;
    bool leave;
    ~LeaveToTheEnd()
    {
        // A registry of 100,000 modules is half a million allocations, which the end of the
        // process takes back at once.
        if (leave && registry && g_leftToTheEnd == nullptr)
            g_leftToTheEnd = new ModuleRegistry(std::move(*registry));
    }
};

/// Whether the entry's module is to be removed.
bool accepted(const Decision& d)
{
    return !d.refusal && !d.notListed && !d.repeated;
}

std::optional<unsigned long> ownerOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<unsigned long>(st.st_uid);
}

/// The install paths of the entries accepted for removal.
std::vector<std::string> leavingPaths(const std::vector<Decision>& decisions)
{
    std::vector<std::string> paths;
    for (const Decision& d : decisions) {
        if (accepted(d))
            paths.push_back(d.installPath);
    }
    return paths;
}

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
        d.uuid = entry.uuid.value_or(std::string());
        if (!entry.uuid) {
            d.refusal = "has no UUID";
        } else if (!seen.insert(*entry.uuid).second) {
            d.repeated = true;
        } else if (!registry.contains(*entry.uuid)) {
            d.notListed = true;
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
StayingModules refuseFoldersHoldingStayingModules(std::vector<Decision>& decisions, const ModuleRegistry& registry,
                                                  FileTree::Session& files)
{
    std::unordered_set<std::string, platform::KeyHasher> leaving;
    QuickSieve mayLeave;
    for (const Decision& d : decisions) {
        if (accepted(d)) {
            leaving.insert(d.uuid);
            mayLeave.add(d.uuid);
        }
    }
    const auto stays = [&](const std::string& uuid) { return !mayLeave.mayHold(uuid) || leaving.count(uuid) == 0; };
    StayingModules staying(leavingPaths(decisions));
    registry.forEachInstallPath([&](const std::string& uuid, const std::string* installPath) {
        if (installPath != nullptr && stays(uuid))
            staying.add(*installPath, 1);
    });
    // Which module stays at each install path: made only when an entry is first refused for one.
    std::optional<std::unordered_map<std::string, std::string, platform::KeyHasher>> stayingAt;
    const auto moduleStayingAt = [&](const std::string& path) -> std::string {
        if (!stayingAt) {
            stayingAt.emplace();
            registry.forEachInstallPath([&](const std::string& uuid, const std::string* installPath) {
                if (installPath != nullptr && stays(uuid))
                    stayingAt->emplace(PathPolicy::normalized(*installPath), uuid);
            });
        }
        const auto it = stayingAt->find(path);
        return it != stayingAt->end() ? it->second : std::string("that stays");
    };
    // Looked up only when an entry is refused for it.
    const auto moduleStayingInside = [&](const std::string& folder) -> std::string {
        std::string found;
        registry.forEachInstallPath([&](const std::string& uuid, const std::string* installPath) {
            if (found.empty() && installPath != nullptr && stays(uuid) && PathPolicy::isInsideOrSame(*installPath, folder))
                found = uuid + " at " + *installPath;
        });
        return found.empty() ? std::string("that stays") : found;
    };
    const auto refuse = [&](Decision& d, std::string reason) {
        d.refusal = std::move(reason);
        leaving.erase(d.uuid);
        if (staying.add(d.installPath, 1) && stayingAt)
            stayingAt->emplace(PathPolicy::normalized(d.installPath), d.uuid);
    };

    for (bool changed = true; changed;) {
        changed = false;
        for (Decision& d : decisions) {
            if (!accepted(d))
                continue;
            const std::string path = PathPolicy::normalized(d.installPath);
            if (staying.at(path) > 0) {
                refuse(d, d.installPath + " is also the install path of module " + moduleStayingAt(path));
                changed = true;
            } else if (staying.inside(path) > 0) {
                refuse(d, d.installPath + " holds module " + moduleStayingInside(path));
                changed = true;
            }
        }
        if (changed)
            continue;

        // What is on disk does not change with the modules that stay: each entry is inspected once.
        for (Decision& d : decisions) {
            if (!accepted(d) || !d.target.path().empty())
                continue;
            d.target = FileTree::Target(d.installPath);
            const FileTree::Inspection inspection = files.inspect(d.target);
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

/// Finishes the removals an interrupted run journalled: a module moved aside is deleted and, when
/// its install path is gone, dropped from the registry; a module that was never moved stays as it
/// is. Answers false when something held aside could not be deleted (the journal must then stay).
bool recover(const std::vector<RemovalJournal::Record>& records, ModuleRegistry& registry, const PathPolicy& policy,
             const std::function<void(const RemovalEvent&)>& emit, bool* registryChanged)
{
    bool finished = true;
    std::unordered_set<std::string, platform::KeyHasher> dropped;
    // Which module the registry has at each install path the journal names: a record is carried
    // out only for the module registered there, or for none.
    std::unordered_map<std::string, std::string, platform::KeyHasher> registeredAt;
    if (!records.empty()) {
        std::unordered_set<std::string, platform::KeyHasher> named;
        for (const RemovalJournal::Record& record : records)
            named.insert(record.installPath);
        registry.forEachInstallPath([&](const std::string& uuid, const std::string* installPath) {
            if (installPath != nullptr && named.count(PathPolicy::normalized(*installPath)) != 0)
                registeredAt.emplace(PathPolicy::normalized(*installPath), uuid);
        });
    }
    for (const RemovalJournal::Record& record : records) {
        if (PathPolicy::syntaxProblem(record.installPath) || policy.placeProblem(record.installPath)) {
            emit(RemovalEvent::withId(Kind::Kept, record.id,
                                      "the journal names " + record.installPath + ", which may not be removed"));
            continue;
        }
        if (record.holdName.rfind(RemovalJournal::kHoldPrefix, 0) != 0) {
            emit(RemovalEvent::withId(Kind::Kept, record.id,
                                      "the journal names " + record.holdName + ", which is not a name removal sets aside"));
            continue;
        }
        const auto owner = registeredAt.find(record.installPath);
        const std::optional<std::string> listedAt = registry.installPath(record.id);
        if ((owner != registeredAt.end() && owner->second != record.id) ||
            (listedAt && PathPolicy::normalized(*listedAt) != record.installPath)) {
            emit(RemovalEvent::withId(Kind::Kept, record.id,
                                      "the journal names " + record.installPath +
                                          ", which the registry does not have as this module's install path"));
            continue;
        }
        std::string error;
        if (FileTree::removeHeld(record.installPath, record.holdName, &error) == FileTree::Outcome::Failed) {
            emit(RemovalEvent::withId(Kind::Kept, record.id, "what an earlier run set aside was not deleted: " + error));
            finished = false;
            continue;
        }
        const std::optional<bool> present = FileTree::exists(record.installPath);
        if (present == false && listedAt && PathPolicy::normalized(*listedAt) == record.installPath &&
            dropped.insert(record.id).second) {
            if (const std::optional<Receipt> receipt = registry.receipt(record.id))
                ReceiptRemoval::remove(record.id, *receipt, record.installPath, policy, emit);
            emit(RemovalEvent::withId(Kind::Recovered, record.id, record.installPath));
        }
    }
    if (!dropped.empty()) {
        registry.removeModules(std::vector<std::string>(dropped.begin(), dropped.end()));
        *registryChanged = true;
    }
    return finished;
}

/// The most entries a plan may name: one per module the registry holds, but never fewer than
/// kMinPlanEntries, so that a plan run again after some of its modules went still reads.
std::size_t maxPlanEntries(const ModuleRegistry& registry)
{
    return std::max(registry.moduleCount(), RemovalRun::kMinPlanEntries);
}

}  // namespace

void RemovalRun::emit(const RemovalEvent& event)
{
    // One write for the line, so that a stream that writes out at each newline does not; lines
    // wait in the stream until a point where the run may take long: after the count of entries,
    // at the end of each module, after the registry is written, and at the last line of the run.
    std::string line = event.line();
    line += '\n';
    m_out.write(line.data(), static_cast<std::streamsize>(line.size()));
    switch (event.kind) {
    case Kind::Total:
    case Kind::RegistryUpdated:
    case Kind::Refused:
    case Kind::Busy:
    case Kind::End: m_out.flush(); break;
    default: break;
    }
}

int RemovalRun::run()
{
    const auto say = [this](const RemovalEvent& event) { emit(event); };
    const auto refuse = [&](int status, const std::string& reason) {
        say(RemovalEvent::withText(Kind::Refused, reason + "; nothing removed"));
        return status;
    };

    std::string error;
    const std::string registryFile = platform::resolveSystemPath(kRegistryPath);
    bool busy = false;
    std::optional<RemovalJournal> journal =
        RemovalJournal::lockRegistry(registryFile, m_options.lockWaitMs, &error, &busy);
    if (!journal) {
        if (busy) {
            say(RemovalEvent::withText(Kind::Busy, error));
            return kExitBusy;
        }
        return refuse(kExitRegistryUnusable, error);
    }

    std::optional<ModuleRegistry> registry = ModuleRegistry::load(registryFile, &error);
    if (!registry)
        return refuse(kExitRegistryUnusable, "registry " + registryFile + " " + error);
    const LeaveToTheEnd leave{registry, m_options.processEndsWithTheRun};
    const std::optional<std::vector<std::string>> folders = ModuleFolders::load(&error);
    if (!folders)
        return refuse(kExitSettingUnusable, error);
    const PathPolicy policy("/", *folders);

    if (!m_options.dryRun)
        FileTree::setStepHook(crashPoint);
    // What an interrupted run left is finished before the plan is read.
    bool registryChanged = false;
    bool journalFinished = true;
    if (!m_options.dryRun) {
        const std::vector<RemovalJournal::Record> pending = journal->pending(&error);
        const std::vector<RemovalJournal::InstallRecord> installs = journal->pendingInstalls(&error);
        if (!error.empty())
            return refuse(kExitRegistryUnusable, error);
        journal->removeStrayTemporaries();
        // An interrupted install is settled first: the modules it registered are whole.
        journalFinished = InstallRecovery::recover(installs, *registry, policy, say);
        journalFinished = recover(pending, *registry, policy, say, &registryChanged) && journalFinished;
        if (registryChanged) {
            crashPoint();
            if (!registry->save(&error))
                return refuse(kExitRegistryUnusable, "registry " + registryFile + " " + error);
            say(RemovalEvent::withText(Kind::RegistryUpdated, ""));
            registryChanged = false;
        }
        if (journalFinished && (!pending.empty() || !installs.empty()) && !journal->discard(&error))
            return refuse(kExitRegistryUnusable, error);
    }

    const std::string home = platform::callerHomeDirectory();
    const std::string planFile = platform::stringByAppendingPathComponent(home, std::string("Library/Preferences/") + kPlanName);
    // A plan longer than the registry allows is refused before its entries are built.
    const std::optional<UninstallPlan> plan =
        UninstallPlan::load(home, kPlanName, ownerOf(home), &error, maxPlanEntries(*registry));
    if (!plan)
        return refuse(kExitPlanUnusable, "plan " + planFile + " " + error);
    if (plan->listed() > maxPlanEntries(*registry)) {
        return refuse(kExitPlanUnusable, "plan " + planFile + " names " + std::to_string(plan->listed()) +
                                             " entries, more than the " + std::to_string(registry->moduleCount()) +
                                             " modules the registry holds");
    }

    const std::size_t count = plan->entries().size();
    say(RemovalEvent::total(count));
    std::vector<Decision> decisions = checkEntries(*plan, *registry, policy);
    FileTree::Session files;
    const StayingModules staying = refuseFoldersHoldingStayingModules(decisions, *registry, files);

    // Entries leaving together may share a parent folder: it goes with the last of them.
    StayingModules notYetGone(leavingPaths(decisions));
    std::vector<RemovalJournal::Record> intents;
    for (std::size_t i = 0; i < decisions.size(); ++i) {
        Decision& d = decisions[i];
        if (!accepted(d))
            continue;
        notYetGone.add(d.installPath, 1);
        if (!d.missing) {
            d.holdName = RemovalJournal::holdNameFor(d.uuid, i);
            intents.push_back({d.uuid, PathPolicy::normalized(d.installPath), d.holdName});
        }
    }
    if (!m_options.dryRun) {
        if (!journal->append(intents, &error))
            return refuse(kExitRegistryUnusable, error);
        crashPoint();
    }

    std::size_t removed = 0;
    std::size_t absent = 0;
    std::size_t kept = 0;
    bool stopped = false;
    // Each module comes once: a plan's repeated entries are skipped.
    std::vector<std::string> gone;
    const auto dropGone = [&] {
        registry->removeModules(gone);
        gone.clear();
    };
    auto lastSave = std::chrono::steady_clock::now();

    for (std::size_t i = 0; i < decisions.size(); ++i) {
        Decision& d = decisions[i];
        if (d.repeated)
            continue;
        say(RemovalEvent::module(i + 1, count, d.uuid));
        if (d.notListed) {
            say(RemovalEvent::withId(Kind::Absent, d.uuid, "-"));
            ++absent;
            continue;
        }
        if (d.refusal) {
            say(RemovalEvent::withId(Kind::Kept, d.uuid, d.uuid.empty() ? d.label + " " + *d.refusal : *d.refusal));
            ++kept;
            continue;
        }
        if (!stopped && m_options.stopRequested && m_options.stopRequested())
            stopped = true;
        if (stopped) {
            say(RemovalEvent::withId(Kind::Kept, d.uuid, "the removal was stopped before this module"));
            ++kept;
            continue;
        }
        const auto parentFree = [&] {
            return parentMayGo(d, staying, policy) && notYetGone.inside(d.unInstallPath) == 0 &&
                   !notYetGone.holds(d.unInstallPath);
        };
        if (m_options.dryRun) {
            notYetGone.add(d.installPath, -1);
            if (d.missing) {
                say(RemovalEvent::withId(Kind::Absent, d.uuid, d.installPath));
                ++absent;
                continue;
            }
            say(RemovalEvent::withId(Kind::WouldRemove, d.uuid, d.installPath));
            ++removed;
            if (parentFree() && files.holdsOnly(d.target))
                say(RemovalEvent::withText(Kind::WouldRemoveFolder, d.unInstallPath));
            m_out.flush();
            continue;
        }

        FileTree::Outcome outcome = FileTree::Outcome::Missing;
        if (!d.missing) {
            outcome = files.moveAside(d.target, d.holdName, &error);
            if (outcome == FileTree::Outcome::Failed) {
                say(RemovalEvent::withId(Kind::Kept, d.uuid, error));
                ++kept;
                continue;
            }
            crashPoint();
            if (outcome == FileTree::Outcome::Removed &&
                files.removeHeld(d.target, d.holdName, &error) == FileTree::Outcome::Failed) {
                // Gone from its place; the journal keeps what is left for the next run to delete.
                journalFinished = false;
            }
        }
        if (const std::optional<Receipt> receipt = registry->receipt(d.uuid))
            ReceiptRemoval::remove(d.uuid, *receipt, d.installPath, policy, say);
        gone.push_back(d.uuid);
        registryChanged = true;
        notYetGone.add(d.installPath, -1);
        if (outcome == FileTree::Outcome::Removed) {
            say(RemovalEvent::withId(Kind::Removed, d.uuid, d.installPath));
            ++removed;
        } else {
            say(RemovalEvent::withId(Kind::Absent, d.uuid, d.installPath));
            ++absent;
        }
        if (parentFree() && files.removeFolderIfEmpty(d.target))
            say(RemovalEvent::withText(Kind::FolderRemoved, d.unInstallPath));
        m_out.flush();

        const auto now = std::chrono::steady_clock::now();
        if (now - lastSave >= std::chrono::milliseconds(kCheckpointMs)) {
            dropGone();
            crashPoint();
            if (registry->save(&error)) {
                say(RemovalEvent::withText(Kind::RegistryUpdated, ""));
                registryChanged = false;
            }
            lastSave = now;
        }
    }

    if (registryChanged && !m_options.dryRun) {
        dropGone();
        crashPoint();
        if (!registry->save(&error)) {
            // The journal stays: the next run drops the modules that are gone.
            say(RemovalEvent::withText(Kind::Refused, "registry " + registryFile + " " + error +
                                                          "; the next run brings it up to date"));
            say(RemovalEvent::end(removed, absent, kept));
            return kExitRegistryUnusable;
        }
        crashPoint();
        say(RemovalEvent::withText(Kind::RegistryUpdated, ""));
    }
    if (!m_options.dryRun && journalFinished) {
        if (!journal->discard(&error))
            say(RemovalEvent::withText(Kind::Refused, error));
        crashPoint();
    }
    say(RemovalEvent::end(removed, absent, kept));
    return kept > 0 ? kExitIncomplete : kExitDone;
}

}  // namespace scripthelper
