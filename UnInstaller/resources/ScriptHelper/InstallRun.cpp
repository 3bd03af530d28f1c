#include "UnInstaller/resources/ScriptHelper/InstallRun.h"

#include "UnInstaller/resources/ScriptHelper/AsUser.h"
#include "UnInstaller/resources/ScriptHelper/CrashPoint.h"
#include "UnInstaller/resources/ScriptHelper/FileDigest.h"
#include "UnInstaller/resources/ScriptHelper/InstallFiles.h"
#include "UnInstaller/resources/ScriptHelper/InstallRecovery.h"
#include "UnInstaller/resources/ScriptHelper/ModuleFolders.h"
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/RemovalJournal.h"
#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"
#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"
#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/SearchPaths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scripthelper {

namespace {

using Kind = RemovalEvent::Kind;
using Step = RemovalJournal::InstallStep;

/// The payload folder: one bundle in each of Print/, Layout/ and Module/.
struct Payload {
    struct Bundle {
        std::string folder;
        std::string name;
        std::string identifier;
    };
    Bundle print;
    Bundle layout;
    Bundle module;
};

std::optional<Payload::Bundle> payloadBundle(const std::string& payload, const char* part, std::string* error)
{
    Payload::Bundle bundle;
    bundle.folder = payload + "/" + part;
    const UniqueFd folder = InstallFiles::openFolder(bundle.folder, false, nullptr, error);
    if (!folder.valid())
        return std::nullopt;
    const int copy = ::dup(folder.get());
    std::vector<std::string> names;
    if (DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    if (names.size() != 1) {
        *error = bundle.folder + " must hold exactly one bundle";
        return std::nullopt;
    }
    bundle.name = names.front();
    const auto identifier = InstallFiles::bundleIdentifier(folder.get(), bundle.name);
    if (!identifier || identifier->empty()) {
        *error = bundle.folder + "/" + bundle.name + " has no CFBundleIdentifier in Contents/Info.plist";
        return std::nullopt;
    }
    bundle.identifier = *identifier;
    return bundle;
}

std::optional<Payload> loadPayload(const std::string& folder, std::string* error)
{
    Payload payload;
    auto print = payloadBundle(folder, "Print", error);
    auto layout = print ? payloadBundle(folder, "Layout", error) : std::nullopt;
    auto module = layout ? payloadBundle(folder, "Module", error) : std::nullopt;
    if (!module)
        return std::nullopt;
    payload.print = std::move(*print);
    payload.layout = std::move(*layout);
    payload.module = std::move(*module);
    return payload;
}

struct PlanEntry {
    std::optional<std::string> printInstallPath;
    std::optional<std::string> layoutInstallPath;
    std::optional<std::string> deletePluginPath;
};

struct Plan {
    bool makeLayoutInstaller = false;
    bool layoutPluginInstall = false;
    std::vector<PlanEntry> entries;
};

std::optional<Plan> planFromBytes(std::string_view bytes, std::string* error)
{
    const auto root = platform::parsePropertyList(bytes);
    const platform::PlistDictionary* dictionary = root ? root->asDictionary() : nullptr;
    const platform::PlistArray* apps = dictionary ? dictionary->arrayForKey("InstallApps") : nullptr;
    if (apps == nullptr) {
        *error = dictionary ? "has no InstallApps list" : "is not a property list with a dictionary at its root";
        return std::nullopt;
    }
    const auto yes = [&](const char* key) {
        const std::string* value = dictionary->stringForKey(key);
        return value != nullptr && *value == "YES";
    };
    Plan plan;
    plan.makeLayoutInstaller = yes("MakeLayoutInstaller");
    plan.layoutPluginInstall = yes("LayoutPluginInstall");
    for (const platform::PlistValue& value : *apps) {
        PlanEntry entry;
        if (const platform::PlistDictionary* item = value.asDictionary()) {
            const auto take = [&](const char* key, std::optional<std::string>& into) {
                if (const std::string* text = item->stringForKey(key))
                    into = *text;
            };
            take("PrintInstallPath", entry.printInstallPath);
            take("LayoutInstallPath", entry.layoutInstallPath);
            take("DeletePluginPath", entry.deletePluginPath);
        }
        plan.entries.push_back(std::move(entry));
    }
    return plan;
}

std::optional<unsigned long> ownerOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<unsigned long>(st.st_uid);
}

std::string newToken()
{
    unsigned char bytes[8] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        const unsigned long mix = static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::time(nullptr));
        std::memcpy(bytes, &mix, std::min(sizeof mix, sizeof bytes));
    }
    return FileDigest::ofBytes(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes)).substr(0, 16);
}

/// One bundle of the payload to place: in folder, under name, with the rights of owner.
struct Part {
    const Payload::Bundle* bundle = nullptr;
    std::string folder;
    unsigned long owner = 0;
    bool userSide = false;
    std::string target() const { return folder + "/" + bundle->name; }
};

/// What a look at a part's folder with the owner's rights found, as text across processes:
/// "problem TEXT", or lines "missing PATH", "existing", "foreign", "old NAME".
std::string probePart(const Part& part, const std::optional<std::string>& oldCopiesIn, const std::string& printId)
{
    const InstallFiles::Probe probe = InstallFiles::probe(part.folder);
    if (probe.problem)
        return "problem " + *probe.problem + "\n";
    std::string answer;
    for (const std::string& path : probe.missing)
        answer += "missing " + encodeIdentifier(path) + "\n";
    if (probe.missing.empty()) {
        std::string error;
        const UniqueFd folder = InstallFiles::openFolder(part.folder, false, nullptr, &error);
        if (!folder.valid())
            return "problem " + error + "\n";
        if (InstallFiles::exists(folder.get(), part.bundle->name)) {
            const auto identifier = InstallFiles::bundleIdentifier(folder.get(), part.bundle->name);
            answer += identifier == part.bundle->identifier ? "existing\n" : "foreign\n";
        }
    }
    if (oldCopiesIn) {
        std::string error;
        const UniqueFd folder = InstallFiles::openFolder(*oldCopiesIn, false, nullptr, &error);
        const int copy = folder.valid() ? ::dup(folder.get()) : -1;
        if (DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr) {
            std::vector<std::string> names;
            while (const dirent* entry = ::readdir(dir)) {
                if (entry->d_name[0] != '.')
                    names.emplace_back(entry->d_name);
            }
            ::closedir(dir);
            for (const std::string& name : names) {
                if (*oldCopiesIn + "/" + name != part.target() &&
                    InstallFiles::bundleIdentifier(folder.get(), name) == printId)
                    answer += "old " + encodeIdentifier(name) + "\n";
            }
        }
    }
    return answer;
}

/// Stages the part's bundle beside its place; "ok" and the receipt's items, or "error TEXT".
std::string stagePart(const Part& part, const std::string& stagingName)
{
    std::string error;
    std::vector<std::string> created;
    const UniqueFd folder = InstallFiles::openFolder(part.folder, true, &created, &error);
    const UniqueFd source = folder.valid() ? InstallFiles::openFolder(part.bundle->folder, false, nullptr, &error)
                                           : UniqueFd();
    std::vector<Receipt::Item> items;
    if (!source.valid() || !InstallFiles::copyTree(source.get(), part.bundle->name, folder.get(), stagingName,
                                                   part.target(), part.owner, part.userSide, &items, &error))
        return "error " + error;
    return "ok\n" + InstallFiles::encodeItems(items);
}

/// Puts the staged parts and the old copies' holds in place, in this process.
std::string commitSteps(const std::vector<Step>& steps)
{
    for (const Step& step : steps) {
        if (step.kind == Step::Kind::Folder)
            continue;
        std::string error;
        const UniqueFd folder =
            InstallFiles::openFolder(platform::stringByDeletingLastPathComponent(step.path), false, nullptr, &error);
        if (!folder.valid())
            return error;
        const std::string name = platform::lastPathComponent(step.path);
        if ((step.existed || step.kind == Step::Kind::OldCopy) &&
            ::renameat(folder.get(), name.c_str(), folder.get(), step.hold.c_str()) != 0 && errno != ENOENT)
            return "cannot set " + step.path + " aside: " + std::strerror(errno);
        crashPoint();
        if (step.kind == Step::Kind::Placed &&
            ::renameat(folder.get(), step.staging.c_str(), folder.get(), name.c_str()) != 0)
            return "cannot put " + step.path + " in place: " + std::strerror(errno);
    }
    return {};
}

}  // namespace

std::string InstallRun::moduleIdFor(const std::string& printInstallPath)
{
    const std::string hex = FileDigest::ofBytes("vLX module:" + PathPolicy::normalized(printInstallPath));
    std::string id;
    for (std::size_t i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20)
            id += '-';
        id += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i])));
    }
    return id;
}

void InstallRun::emit(const RemovalEvent& event)
{
    m_out << event.line() << '\n';
    m_out.flush();
}

int InstallRun::run()
{
    const auto say = [this](const RemovalEvent& event) { emit(event); };
    const auto refuse = [&](int status, const std::string& reason) {
        say(RemovalEvent::withText(Kind::Refused, reason + "; nothing installed"));
        return status;
    };

    std::string error;
    const std::string registryFile = platform::resolveSystemPath(RemovalRun::kRegistryPath);
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
    std::optional<ModuleRegistry> registry = ModuleRegistry::loadOrCreate(registryFile, &error);
    if (!registry)
        return refuse(kExitRegistryUnusable, "registry " + registryFile + " " + error);
    const std::optional<std::vector<std::string>> folders = ModuleFolders::load(&error);
    if (!folders)
        return refuse(kExitSettingUnusable, error);
    const PathPolicy policy("/", *folders);

    // What an interrupted run left is settled before anything else.
    const std::vector<RemovalJournal::Record> removals = journal->pending(&error);
    const std::vector<RemovalJournal::InstallRecord> installs = journal->pendingInstalls(&error);
    if (!error.empty())
        return refuse(kExitRegistryUnusable, error);
    if (!removals.empty()) {
        // An interrupted removal is ScriptHelper's to finish.
        return refuse(kExitBusy, "an interrupted removal must be finished first: run the uninstaller again");
    }
    journal->removeStrayTemporaries();
    if (!InstallRecovery::recover(installs, *registry, policy, say))
        return refuse(kExitRegistryUnusable, "an interrupted install could not be settled");
    if (!installs.empty() && !journal->discard(&error))
        return refuse(kExitRegistryUnusable, error);

    const std::optional<Payload> payload = loadPayload(m_options.payloadFolder, &error);
    if (!payload)
        return refuse(kExitUnavailable, "payload: " + error);
    if (policy.moduleFolders().empty())
        return refuse(kExitSettingUnusable, "no folder where modules may live");
    const std::string moduleBase = PathPolicy::normalized(policy.moduleFolders().front());

    const std::string home = platform::callerHomeDirectory();
    const std::optional<unsigned long> caller = ownerOf(home);
    const std::string planFile = platform::stringByAppendingPathComponent(home, std::string("Library/Preferences/") + kPlanName);
    const auto bytes = UninstallPlan::readPlanFile(home, kPlanName, caller, &error);
    const std::optional<Plan> plan = bytes ? planFromBytes(*bytes, &error) : std::nullopt;
    if (!plan || !caller)
        return refuse(kExitPlanUnusable, "plan " + planFile + " " + (caller ? error : "has no owner to act for"));

    const unsigned long self = ::geteuid();
    const auto systemSide = [&](const std::string& folder) {
        const std::string normalized = PathPolicy::normalized(folder);
        return policy.isInsideModuleFolder(normalized) ||
               std::find(policy.moduleFolders().begin(), policy.moduleFolders().end(), normalized) !=
                   policy.moduleFolders().end();
    };
    const auto partFor = [&](const Payload::Bundle& bundle, const std::string& folder) {
        const bool system = systemSide(folder);
        return Part{&bundle, PathPolicy::normalized(folder), system ? self : *caller, !system};
    };

    const std::size_t count = plan->entries.size();
    say(RemovalEvent::total(count));
    std::size_t installed = 0;
    std::size_t updated = 0;
    std::size_t skipped = 0;
    bool registryFailed = false;
    bool allSettled = true;
    std::set<std::string> done;
    for (std::size_t i = 0; i < count; ++i) {
        const PlanEntry& entry = plan->entries[i];
        const std::string printPath = entry.printInstallPath.value_or("");
        const std::string id = moduleIdFor(printPath);
        say(RemovalEvent::host(i + 1, count, id, printPath.empty() ? "-" : printPath));
        const auto skip = [&](const std::string& reason) {
            say(RemovalEvent::withId(Kind::Skipped, id, reason));
            ++skipped;
        };
        if (!plan->makeLayoutInstaller) {
            skip("the plan asks for no layout installer (MakeLayoutInstaller is not YES)");
            continue;
        }
        if (!entry.printInstallPath) {
            skip("the plan entry names no PrintInstallPath");
            continue;
        }
        if (auto problem = PathPolicy::syntaxProblem(printPath)) {
            skip("PrintInstallPath " + printPath + " " + *problem);
            continue;
        }
        if (!done.insert(id).second) {
            skip("the plan names " + printPath + " twice");
            continue;
        }

        std::vector<Part> parts;
        parts.push_back({&payload->module, moduleBase + "/" + id, self, false});
        parts.push_back(partFor(payload->print, printPath));
        if (plan->layoutPluginInstall && entry.layoutInstallPath) {
            if (auto problem = PathPolicy::syntaxProblem(*entry.layoutInstallPath)) {
                skip("LayoutInstallPath " + *entry.layoutInstallPath + " " + *problem);
                continue;
            }
            parts.push_back(partFor(payload->layout, *entry.layoutInstallPath));
        }
        std::optional<std::string> deleteFolder;
        if (entry.deletePluginPath && *entry.deletePluginPath != "NotDelete" &&
            !PathPolicy::syntaxProblem(*entry.deletePluginPath))
            deleteFolder = PathPolicy::normalized(*entry.deletePluginPath);

        // Look first, with each part's rights; nothing is changed unless every part can be placed.
        const std::string token = newToken();
        RemovalJournal::InstallRecord record{id, token, {}};
        std::vector<Step> placed;
        std::vector<Step> oldCopies;
        std::set<std::string> folderSteps;
        std::optional<std::string> problem;
        for (std::size_t p = 0; p < parts.size() && !problem; ++p) {
            const Part& part = parts[p];
            const bool checkOld = &part == &parts[1] && deleteFolder && systemSide(*deleteFolder) == !part.userSide;
            const std::optional<std::string> answer = AsUser::run(part.owner, [&] {
                return probePart(part, checkOld ? deleteFolder : std::nullopt, payload->print.identifier);
            });
            if (!answer) {
                problem = "cannot act with the rights of user " + std::to_string(part.owner);
                break;
            }
            bool existing = false;
            std::string_view rest = *answer;
            for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
                const std::string_view line = rest.substr(0, end);
                rest.remove_prefix(end + 1);
                if (line.rfind("problem ", 0) == 0) {
                    problem = std::string(line.substr(8));
                    if (part.userSide)
                        *problem += " with your rights, and it is not among the folders an administrator allowed in " +
                                    ModuleFolders::settingFile();
                } else if (line.rfind("missing ", 0) == 0) {
                    const auto path = decodeIdentifier(line.substr(8));
                    if (path && folderSteps.insert(*path).second)
                        record.steps.push_back({Step::Kind::Folder, part.owner, part.userSide, *path, "", "", false});
                } else if (line == "existing") {
                    existing = true;
                } else if (line == "foreign") {
                    problem = part.target() + " exists and is not a copy of this plug-in";
                } else if (line.rfind("old ", 0) == 0) {
                    const auto name = decodeIdentifier(line.substr(4));
                    if (name) {
                        oldCopies.push_back({Step::Kind::OldCopy, part.owner, part.userSide, *deleteFolder + "/" + *name, "",
                                             ".oxlade-old-" + token + "-" + std::to_string(oldCopies.size()), true});
                    }
                }
            }
            placed.push_back({Step::Kind::Placed, part.owner, part.userSide, part.target(), ".oxlade-staging-" + token + "-" +
                              std::to_string(p), existing ? ".oxlade-replaced-" + token + "-" + std::to_string(p) : "",
                              existing});
        }
        if (problem) {
            skip(*problem);
            continue;
        }
        record.steps.insert(record.steps.end(), placed.begin(), placed.end());
        record.steps.insert(record.steps.end(), oldCopies.begin(), oldCopies.end());
        if (!journal->appendInstall(record, &error)) {
            skip(error);
            allSettled = false;
            break;
        }
        crashPoint();

        // Stage every part beside its place.
        Receipt receipt;
        receipt.token = token;
        for (const Step& step : record.steps) {
            if (step.kind == Step::Kind::Folder)
                receipt.items.push_back({step.path, Receipt::Item::Kind::Folder, 0, "", step.owner, step.userSide});
        }
        for (std::size_t p = 0; p < parts.size() && !problem; ++p) {
            const std::string stagingName = placed[p].staging;
            const Part& part = parts[p];
            const std::optional<std::string> answer =
                AsUser::run(part.owner, [&] { return stagePart(part, stagingName); });
            std::optional<std::vector<Receipt::Item>> items;
            if (answer && answer->rfind("ok\n", 0) == 0)
                items = InstallFiles::decodeItems(std::string_view(*answer).substr(3));
            if (!items) {
                problem = answer && answer->rfind("error ", 0) == 0 ? answer->substr(6)
                                                                    : "cannot place " + part.target();
                break;
            }
            receipt.items.insert(receipt.items.end(), items->begin(), items->end());
            crashPoint();
        }
        // Then put them in place, one owner's steps at a time.
        for (std::size_t s = 0; s < record.steps.size() && !problem;) {
            std::size_t end = s;
            while (end < record.steps.size() && record.steps[end].owner == record.steps[s].owner)
                ++end;
            const std::vector<Step> group(record.steps.begin() + static_cast<std::ptrdiff_t>(s),
                                          record.steps.begin() + static_cast<std::ptrdiff_t>(end));
            const std::optional<std::string> answer = AsUser::run(group.front().owner, [&] { return commitSteps(group); });
            if (!answer || !answer->empty())
                problem = answer ? *answer : "cannot act with the rights of user " + std::to_string(group.front().owner);
            s = end;
        }
        const std::optional<Receipt> earlier = registry->receipt(id);
        const bool update = registry->contains(id);
        if (!problem) {
            // Folders an earlier install made stay the module's to remove.
            if (earlier) {
                for (const Receipt::Item& item : earlier->items) {
                    if (item.kind == Receipt::Item::Kind::Folder &&
                        std::none_of(receipt.items.begin(), receipt.items.end(),
                                     [&](const Receipt::Item& mine) { return mine.path == item.path; }))
                        receipt.items.insert(receipt.items.begin(), item);
                }
            }
            const std::string name = payload->module.name.substr(0, payload->module.name.find('.')) +
                                     " vLX module for " + printPath;
            registry->setModule(id, name, parts.front().target(), receipt);
            crashPoint();
            if (!registry->save(&error)) {
                problem = "registry " + registryFile + " " + error;
                registryFailed = true;
            }
        }
        crashPoint();
        const std::string settled = InstallRecovery::settle(record.steps, !problem);
        if (problem) {
            skip(*problem);
            if (!settled.empty())
                allSettled = false;
            // The registry in memory no longer matches the file: nothing more is registered.
            if (registryFailed)
                break;
            continue;
        }
        if (!settled.empty())
            allSettled = false;
        say(RemovalEvent::withText(Kind::RegistryUpdated, ""));
        for (const Step& step : oldCopies)
            say(RemovalEvent::withId(Kind::OldRemoved, id, step.path));
        say(RemovalEvent::withId(update ? Kind::Updated : Kind::Installed, id, parts.front().target()));
        ++(update ? updated : installed);
    }
    if (allSettled && !journal->discard(&error))
        say(RemovalEvent::withText(Kind::Refused, error));
    say(RemovalEvent::end(installed, updated, skipped));
    if (registryFailed)
        return kExitRegistryUnusable;
    return skipped > 0 ? kExitIncomplete : kExitDone;
}

}  // namespace scripthelper
