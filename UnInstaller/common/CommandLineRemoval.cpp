#include "UnInstaller/common/CommandLineRemoval.h"

#include "UnInstaller/common/CommandLine.h"

#include "UnInstaller/common/Controller.h"
#include "UnInstaller/common/PlanLock.h"
#include "UnInstaller/common/RemovableModules.h"
#include "UnInstaller/common/RemovalSession.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/SearchPaths.h"
#include "platform/headless/HeadlessAuthorization.h"
#include "platform/security/Authorization.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace {

constexpr const char* kProgramName = "plugsweep";
constexpr const char* kPlanFileName = "com.tavix.pluginUnInstall.plist";

/// The removal program's exit statuses that the command line passes on as its own.
int statusFor(int toolStatus)
{
    switch (toolStatus) {
    case 0:
        return CommandLineRemoval::kExitDone;
    case 1:
        return CommandLineRemoval::kExitKept;
    case 74:
        return CommandLineRemoval::kExitRegistry;
    case 75:
        return CommandLineRemoval::kExitBusy;
    case 78:
        return CommandLineRemoval::kExitSetting;
    default:
        return CommandLineRemoval::kExitSoftware;
    }
}

/// How long a run waits for another run of the same account to end.
constexpr int kPlanLockWaitMs = 30 * 1000;

/// One module the command named, and what became of it.
struct Outcome {
    std::string id;
    std::string name;
    std::string installPath;
    /// "removed", "absent", "unknown", "kept", "would-remove" or "not-removable".
    std::string state;
    CommandLineRemoval::Reason reason;
    bool known = true;
    /// Files of the module's receipt that stayed: changed since the install, or not removable.
    std::vector<std::string> keptFiles;
};

}  // namespace

std::string jsonString(const std::string& text)
{
    // The library escapes what JSON requires and replaces bytes that are not UTF-8 with U+FFFD, so
    // the document is valid whatever the registry or the command line held.
    const std::string json = nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // Characters a terminal obeys rather than shows are escaped too: C1 controls, the line and
    // paragraph separators and the bidirectional-formatting characters.
    std::string result;
    result.reserve(json.size());
    for (std::size_t i = 0; i < json.size();) {
        const auto byte = static_cast<unsigned char>(json[i]);
        std::size_t length = byte < 0x80 ? 1 : byte < 0xe0 ? 2 : byte < 0xf0 ? 3 : 4;
        if (i + length > json.size())
            length = 1;
        char32_t code = byte;
        if (length == 2)
            code = ((byte & 0x1fu) << 6) | (static_cast<unsigned char>(json[i + 1]) & 0x3fu);
        else if (length == 3)
            code = ((byte & 0x0fu) << 12) | ((static_cast<unsigned char>(json[i + 1]) & 0x3fu) << 6) |
                   (static_cast<unsigned char>(json[i + 2]) & 0x3fu);
        const bool escaped = (code >= 0x80 && code <= 0x9f && length == 2) || code == 0x7f ||
                             (length == 3 && (code == 0x061c || code == 0x200e || code == 0x200f ||
                                              (code >= 0x2028 && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069))) ||
                             (length == 2 && code == 0x061c);
        if (escaped) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
            result += escape;
        } else {
            result.append(json, i, length);
        }
        i += length;
    }
    return result;
}

CommandLineRemoval::CommandLineRemoval(std::ostream& out, std::ostream& err, std::string toolPath)
    : m_out(out), m_err(err), m_toolPath(std::move(toolPath))
{
}

std::string CommandLineRemoval::say(const std::string& key, const std::string& english,
                                    std::initializer_list<std::string> args) const
{
    return CommandLine::fill(m_texts ? m_texts(key, english) : english, args);
}

CommandLineRemoval::Reason CommandLineRemoval::reason(const std::string& key, const std::string& english,
                                                      std::initializer_list<std::string> args) const
{
    return {CommandLine::fill(english, args), say(key, english, args)};
}

void CommandLineRemoval::complain(const std::string& message)
{
    m_err << kProgramName << ": " << message << "\n";
    m_err.flush();
}

int CommandLineRemoval::finish(int status)
{
    // The error number the failed write left (errno was cleared before the output began).
    m_out.flush();
    if (m_out)
        return status;
    const int error = errno;
    complain(say("CL_OUTPUT_UNWRITABLE", "the output cannot be written (%@)",
                 {error != 0 ? std::strerror(error) : std::string("?")}));
    return kExitOutput;
}

int CommandLineRemoval::list(bool json)
{
    // Each problem is said once, here, in the user's language; the system log still has it.
    platform::setLogEchoesToStandardError(false);
    std::optional<std::string> problem;
    const std::optional<platform::PlistDictionary> registry = RemovableModules::readRegistry(&problem);
    const std::string registryPath = platform::resolveSystemPath(RemovableModules::kRegistryPath);
    if (problem) {
        complain(say("CL_REGISTRY_UNUSABLE", "the module registry %@ cannot be used: %@", {registryPath, "it " + *problem}));
        return kExitRegistry;
    }
    if (!registry)
        complain(say("CL_NO_REGISTRY", "no modules are registered: %@ does not exist", {registryPath}));
    const RemovableModules judge;
    // The setting that decides what may be removed is judged as the removal program judges it.
    const int status = judge.settingProblem().empty() ? kExitDone : kExitSetting;
    if (status == kExitSetting)
        complain(say("CL_SETTING_UNUSABLE", "the module-folders setting cannot be used: %@", {judge.settingProblem()}));
    const std::vector<RemovableModules::Module> modules =
        registry ? judge.modulesOf(*registry) : std::vector<RemovableModules::Module>();
    const auto refusal = [&](RemovableModules::Refusal why) {
        switch (why) {
        case RemovableModules::Refusal::None:
            return Reason{};
        case RemovableModules::Refusal::UnsafePath:
            return reason("CL_REASON_UNSAFE", "its install path is not a plain absolute path");
        case RemovableModules::Refusal::OutsideModuleFolders:
            return reason("CL_REASON_OUTSIDE", "it lies outside the folders where modules may be removed (%@)",
                          {judge.folderList()});
        case RemovableModules::Refusal::SettingUnusable:
            return reason("CL_REASON_NO_SETTING", "the module-folders setting cannot be used: %@",
                          {judge.settingProblem()});
        }
        return Reason{};
    };
    errno = 0;
    if (!json) {
        // One row per module: controls in the registry's texts are shown, never obeyed. The
        // first words ("removable", "not removable") are the same in every language.
        for (const RemovableModules::Module& module : modules) {
            if (!m_out)
                break;
            m_out << scripthelper::printable(module.id) << '\t' << scripthelper::printable(module.name) << '\t'
                  << scripthelper::printable(module.installPath) << '\t'
                  << (module.refusal == RemovableModules::Refusal::None
                          ? std::string("removable")
                          : "not removable: " + scripthelper::printable(refusal(module.refusal).shown))
                  << '\n';
        }
        return finish(status);
    }
    m_out << "{\"registry\": " << jsonString(registryPath) << ", \"modules\": [";
    for (std::size_t i = 0; i < modules.size() && m_out; ++i) {
        const RemovableModules::Module& module = modules[i];
        const bool removable = module.refusal == RemovableModules::Refusal::None;
        m_out << (i == 0 ? "\n  " : ",\n  ") << "{\"id\": " << jsonString(module.id)
              << ", \"name\": " << jsonString(module.name) << ", \"installPath\": " << jsonString(module.installPath)
              << ", \"removable\": " << (removable ? "true" : "false");
        if (!removable)
            m_out << ", \"reason\": " << jsonString(refusal(module.refusal).english);
        m_out << "}";
    }
    m_out << (modules.empty() ? "]}\n" : "\n]}\n");
    return finish(status);
}

int CommandLineRemoval::remove(const Options& options)
{
    platform::setLogEchoesToStandardError(false);
    std::optional<std::string> problem;
    const std::optional<platform::PlistDictionary> registry = RemovableModules::readRegistry(&problem);
    const std::string registryPath = platform::resolveSystemPath(RemovableModules::kRegistryPath);
    const std::string nothingRemoved = say("CL_NOTHING_REMOVED", "nothing was removed");
    if (problem) {
        complain(say("CL_REGISTRY_UNUSABLE", "the module registry %@ cannot be used: %@", {registryPath, "it " + *problem}) +
                 "; " + nothingRemoved);
        return kExitRegistry;
    }
    if (!registry) {
        // Nothing registered is nothing to remove; a named module is not "absent", since its files
        // may well be on disk with no registry to tell.
        complain(say("CL_NO_REGISTRY", "no modules are registered: %@ does not exist", {registryPath}));
        if (!options.ids.empty())
            return kExitNoRegistry;
    }
    const RemovableModules judge;
    if (!judge.settingProblem().empty()) {
        complain(say("CL_SETTING_UNUSABLE", "the module-folders setting cannot be used: %@", {judge.settingProblem()}) +
                 "; " + nothingRemoved);
        return kExitSetting;
    }
    const std::vector<RemovableModules::Module> modules =
        registry ? judge.modulesOf(*registry) : std::vector<RemovableModules::Module>();
    std::map<std::string, const RemovableModules::Module*> byId;
    for (const RemovableModules::Module& module : modules)
        byId.emplace(module.id, &module);

    // What each named module is to become, in the order named.
    std::vector<Outcome> outcomes;
    std::set<std::string> named;
    const auto consider = [&](const RemovableModules::Module& module, bool explicitlyNamed) {
        Outcome outcome{module.id, module.name, module.installPath, "would-remove", {}, true, {}};
        if (module.refusal != RemovableModules::Refusal::None) {
            outcome.state = explicitlyNamed ? "kept" : "not-removable";
            switch (module.refusal) {
            case RemovableModules::Refusal::UnsafePath:
                outcome.reason = reason("CL_REASON_UNSAFE", "its install path is not a plain absolute path");
                break;
            case RemovableModules::Refusal::OutsideModuleFolders:
                outcome.reason = reason("CL_REASON_OUTSIDE",
                                        "it lies outside the folders where modules may be removed (%@)",
                                        {judge.folderList()});
                break;
            default:
                outcome.reason = reason("CL_REASON_NO_SETTING", "the module-folders setting cannot be used: %@",
                                        {judge.settingProblem()});
                break;
            }
        } else if (module.name.find(' ') == std::string::npos) {
            outcome.state = explicitlyNamed ? "kept" : "not-removable";
            outcome.reason =
                reason("CL_REASON_NO_BLANK", "its name has no blank, so no package identifier can be formed");
        }
        outcomes.push_back(std::move(outcome));
    };
    if (options.all) {
        for (const RemovableModules::Module& module : modules)
            consider(module, false);
    }
    std::size_t unknownCount = 0;
    for (const std::string& id : options.ids) {
        if (!named.insert(id).second)
            continue;
        const auto it = byId.find(id);
        if (it != byId.end()) {
            consider(*it->second, true);
        } else {
            outcomes.push_back({id, "", "", "unknown", reason("CL_REASON_NOT_IN_REGISTRY", "not in the module registry"),
                                false, {}});
            ++unknownCount;
        }
    }

    std::vector<std::size_t> targets;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].state == "would-remove")
            targets.push_back(i);
    }
    int status = kExitDone;
    std::optional<Reason> failure;
    // Held until the removal program has ended: no other run of this account writes the plan meanwhile.
    std::optional<PlanLock> planLock;
    if (!targets.empty() && !options.dryRun) {
        PlanLock::Failure lockFailure = PlanLock::Failure::None;
        std::string lockError;
        planLock = PlanLock::acquire(platform::preferencesDirectory(), kPlanLockWaitMs, &lockFailure, &lockError);
        if (lockFailure == PlanLock::Failure::Busy) {
            complain(say("CL_ACCOUNT_BUSY", "another removal of this account is running (%@)", {lockError}) + "; " +
                     nothingRemoved);
            return kExitBusy;
        }
    }
    if (!targets.empty() && !options.dryRun) {
        // The window's own plan writer, with the targets ticked.
        Controller planner;
        Controller::StringArray checks, names, ids, paths;
        for (std::size_t i : targets) {
            checks.emplace_back("CHK_ON");
            names.push_back(outcomes[i].name);
            ids.push_back(outcomes[i].id);
            paths.push_back(outcomes[i].installPath);
        }
        planner.setM_arrayCheck(checks);
        planner.setM_arrayName(names);
        planner.setM_arrayUUID(ids);
        planner.setM_arrayInstallPath(paths);
        errno = 0;
        if (!planner.saveUnInstallPlist()) {
            const int error = errno;
            complain(say("CL_PLAN_UNWRITABLE", "the plan %@ cannot be written (%@)",
                         {platform::stringByAppendingPathComponent(platform::preferencesDirectory(), kPlanFileName),
                          error != 0 ? std::strerror(error) : std::string("?")}) +
                     "; " + nothingRemoved);
            return kExitCannotCreate;
        }

        // As root the program starts directly; otherwise polkit asks for an administrator.
        std::unique_ptr<platform::headless::HeadlessAuthorization> direct;
        if (m_directWhenPrivileged && platform::AuthorizationProcessIsPrivileged())
            direct = std::make_unique<platform::headless::HeadlessAuthorization>();
        platform::AuthorizationItem right;
        right.name = platform::kAuthorizationRightExecute;
        right.valueLength = m_toolPath.size();
        right.value = m_toolPath.c_str();
        platform::AuthorizationRights rights;
        rights.count = 1;
        rights.items = &right;
        platform::AuthorizationRef authorization = nullptr;
        platform::OSStatus granted = platform::AuthorizationCreate(nullptr, nullptr, 0, &authorization);
        if (granted == platform::errAuthorizationSuccess) {
            granted = platform::AuthorizationCopyRights(
                authorization, &rights, nullptr,
                platform::kAuthorizationFlagInteractionAllowed | platform::kAuthorizationFlagExtendRights, nullptr);
        }
        std::FILE* stream = nullptr;
        if (granted == platform::errAuthorizationSuccess &&
            platform::AuthorizationExecuteWithPrivileges(authorization, m_toolPath.c_str(), 0, nullptr, &stream) ==
                platform::errAuthorizationSuccess &&
            stream != nullptr) {
            RemovalSession session("ScriptHelper", nullptr, RemovalSession::Texts{});
            session.setLogLines(false);
            const RemovalSession::Tally tally = session.follow(authorization, stream);
            int toolStatus = -1;
            if (platform::AuthorizationCopyToolExitStatus(authorization, &toolStatus) != platform::errAuthorizationSuccess)
                toolStatus = -1;
            std::fclose(stream);
            status = statusFor(toolStatus);
            const std::set<std::string> gone(tally.gone.begin(), tally.gone.end());
            const std::set<std::string> absent(tally.absent.begin(), tally.absent.end());
            const std::set<std::string> notTried(tally.notTried.begin(), tally.notTried.end());
            std::map<std::string, std::string> kept(tally.kept.begin(), tally.kept.end());
            for (std::size_t i : targets) {
                Outcome& outcome = outcomes[i];
                if (absent.count(outcome.id) != 0) {
                    outcome.state = "absent";
                    outcome.reason = reason("CL_REASON_ALREADY_GONE", "already gone");
                } else if (gone.count(outcome.id) != 0) {
                    outcome.state = "removed";
                } else {
                    outcome.state = "kept";
                    if (notTried.count(outcome.id) != 0)
                        outcome.reason = reason("CL_REASON_STOPPED", RemovalSession::kStoppedBeforeReason);
                    else if (kept.count(outcome.id) != 0)
                        outcome.reason = Reason{kept[outcome.id], kept[outcome.id]};
                    else if (tally.busy)
                        outcome.reason = reason("CL_REASON_BUSY", "another removal is running");
                    else if (tally.refused)
                        outcome.reason = Reason{*tally.refused, *tally.refused};
                    else
                        outcome.reason = reason("CL_REASON_NOT_REMOVED", "the removal program did not remove it");
                }
            }
            for (const auto& [id, text] : tally.keptFiles) {
                for (std::size_t i : targets) {
                    if (outcomes[i].id == id)
                        outcomes[i].keptFiles.push_back(text);
                }
            }
            if (status == kExitSoftware)
                failure = reason("CL_TOOL_FAILED", "the removal program ended with status %@", {std::to_string(toolStatus)});
        } else {
            const bool refused = granted == platform::errAuthorizationDenied || granted == platform::errAuthorizationCanceled;
            status = refused ? kExitNotAuthorized : kExitUnavailable;
            failure = granted == platform::errAuthorizationDenied ? reason("CL_NOT_AUTHORIZED", "not authorized")
                      : granted == platform::errAuthorizationCanceled
                          ? reason("CL_DISMISSED", "the authentication was dismissed")
                      : granted == platform::errAuthorizationInteractionNotAllowed
                          ? reason("CL_NO_AGENT", "no authentication agent is running (start pkttyagent or a desktop session)")
                      : granted == platform::errAuthorizationSuccess
                          ? reason("CL_NOT_STARTED", "the removal program could not be started")
                          : reason("CL_NO_POLKIT", "polkit cannot be asked (is pkexec installed and polkitd running?)");
            for (std::size_t i : targets) {
                outcomes[i].state = "kept";
                outcomes[i].reason = *failure;
            }
        }
        if (authorization)
            platform::AuthorizationFree(authorization, 0);
    }

    std::size_t removed = 0;
    std::size_t absentCount = 0;
    std::size_t keptCount = 0;
    for (const Outcome& outcome : outcomes) {
        removed += outcome.state == "removed" || outcome.state == "would-remove";
        absentCount += outcome.state == "absent";
        keptCount += outcome.state == "kept";
    }
    if (status == kExitDone && keptCount > 0)
        status = kExitKept;
    // Gone already, or never there: the registry cannot tell, so a run that names it again stays
    // harmless; --strict makes a mistyped identifier fail the run.
    if (options.strict && unknownCount > 0 && status == kExitDone)
        status = kExitUnknown;

    errno = 0;
    if (options.json) {
        m_out << "{\"dryRun\": " << (options.dryRun ? "true" : "false") << ", \"modules\": [";
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            const Outcome& outcome = outcomes[i];
            m_out << (i == 0 ? "\n  " : ",\n  ") << "{\"id\": " << jsonString(outcome.id)
                  << ", \"state\": " << jsonString(outcome.state) << ", \"known\": " << (outcome.known ? "true" : "false");
            if (!outcome.name.empty())
                m_out << ", \"name\": " << jsonString(outcome.name);
            if (!outcome.installPath.empty())
                m_out << ", \"installPath\": " << jsonString(outcome.installPath);
            if (!outcome.reason.empty())
                m_out << ", \"reason\": " << jsonString(outcome.reason.english);
            if (!outcome.keptFiles.empty()) {
                m_out << ", \"keptFiles\": [";
                for (std::size_t k = 0; k < outcome.keptFiles.size(); ++k)
                    m_out << (k == 0 ? "" : ", ") << jsonString(outcome.keptFiles[k]);
                m_out << "]";
            }
            m_out << "}";
        }
        m_out << (outcomes.empty() ? "]" : "\n]") << ", \"removed\": " << (options.dryRun ? 0 : removed)
              << ", \"wouldRemove\": " << (options.dryRun ? removed : 0) << ", \"absent\": " << absentCount
              << ", \"unknown\": " << unknownCount << ", \"kept\": " << keptCount
              << ", \"changed\": " << (!options.dryRun && removed > 0 ? "true" : "false") << ", \"exitStatus\": " << status;
        if (failure)
            m_out << ", \"error\": " << jsonString(failure->english);
        m_out << "}\n";
    } else {
        // The first word of each line is the same in every language, for scripts; the reasons are
        // in the user's language.
        for (const Outcome& outcome : outcomes) {
            m_out << (outcome.state == "would-remove" ? "would remove" : outcome.state == "not-removable" ? "not removable"
                                                                                                            : outcome.state)
                  << ' ' << scripthelper::printable(outcome.id);
            if (!outcome.name.empty())
                m_out << " (" << scripthelper::printable(outcome.name) << ")";
            if (!outcome.reason.empty())
                m_out << ": " << outcome.reason.shown;
            m_out << '\n';
            for (const std::string& file : outcome.keptFiles)
                m_out << "  kept file " << file << '\n';
        }
    }
    // A mistyped identifier must not pass for one that is gone: said on its own line.
    for (const Outcome& outcome : outcomes) {
        if (outcome.state == "unknown")
            complain(say("CL_UNKNOWN_WARNING",
                         "warning: %@ is not a registered module identifier; it was removed earlier or is mistyped "
                         "(plugsweep --list shows the registered ones)",
                         {scripthelper::printable(outcome.id)}));
    }
    if (failure && !options.json)
        complain(failure->shown);
    return finish(status);
}
