#include "installer-host/InstallStep.h"

#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/SearchPaths.h"
#include "platform/foundation/TestSeams.h"
#include "platform/headless/HeadlessAuthorization.h"
#include "platform/security/Authorization.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#ifndef INSTALLER_HOST_INSTALL_HELPER
#error "INSTALLER_HOST_INSTALL_HELPER must name InstallHelper"
#endif

namespace installerhost {

namespace {

using scripthelper::RemovalEvent;

/// The plan's entries as rows, each with the folder the plan names; none when the file is
/// missing (missing) or unusable.
std::optional<std::vector<HostOutcome>> readPlan(const std::string& path, bool* missing)
{
    *missing = false;
    if (!platform::fileExistsAtPath(path)) {
        *missing = true;
        return std::nullopt;
    }
    const std::optional<platform::PlistValue> root = platform::readPropertyListFile(path);
    const platform::PlistDictionary* plan = root ? root->asDictionary() : nullptr;
    const platform::PlistArray* entries = plan ? plan->arrayForKey(kInstallAppsKey) : nullptr;
    if (!entries)
        return std::nullopt;
    std::vector<HostOutcome> hosts;
    for (const platform::PlistValue& value : *entries) {
        HostOutcome host;
        if (const platform::PlistDictionary* entry = value.asDictionary()) {
            // Shown and printed as InstallHelper would write it: one line, in reading order.
            if (const std::string* folder = entry->stringForKey(kPrintInstallPathKey))
                host.folder = scripthelper::printable(*folder);
        }
        hosts.push_back(std::move(host));
    }
    return hosts;
}

/// Turns InstallHelper's lines into the rows of a result, as they come.
class LineFollower {
public:
    LineFollower(InstallStep::Result& result, const std::function<void(const InstallStep::Progress&)>& progress)
        : m_result(result), m_progress(progress)
    {
    }

    void take(const std::string& line)
    {
        const std::optional<RemovalEvent> event = RemovalEvent::parse(line);
        if (!event)
            return;
        using Kind = RemovalEvent::Kind;
        switch (event->kind) {
        case Kind::Total:
            grow(event->first);
            break;
        case Kind::Host: {
            grow(std::max(event->first, event->second));
            if (event->first == 0 || event->first > m_result.hosts.size())
                break;
            m_current = event->first - 1;
            HostOutcome& host = m_result.hosts[*m_current];
            host.moduleId = event->id;
            if (event->text != "-")
                host.folder = event->text;
            if (m_progress) {
                InstallStep::Progress progress;
                progress.phase = InstallStep::Progress::Phase::Host;
                progress.index = event->first;
                progress.count = std::max(event->second, m_result.hosts.size());
                progress.folder = host.folder;
                m_progress(progress);
            }
            break;
        }
        case Kind::Installed:
            settle(event->id, HostOutcome::State::Installed, {});
            break;
        case Kind::Updated:
            settle(event->id, HostOutcome::State::Updated, {});
            break;
        case Kind::Skipped:
            settle(event->id, HostOutcome::State::Skipped, event->text);
            break;
        case Kind::Refused:
            m_refused = true;
            m_result.detail = event->text;
            break;
        case Kind::Busy:
            m_busy = true;
            m_result.detail = event->text;
            break;
        default:
            break;
        }
    }

    bool refused() const { return m_refused; }
    bool busy() const { return m_busy; }

private:
    void grow(std::size_t count)
    {
        if (count > m_result.hosts.size() && count <= kMaxEntries)
            m_result.hosts.resize(count);
    }

    /// The entry an outcome line is about: the one begun last when it has that module, else the
    /// first unsettled one that has.
    HostOutcome* entryFor(const std::string& id)
    {
        if (m_current && *m_current < m_result.hosts.size() && m_result.hosts[*m_current].moduleId == id)
            return &m_result.hosts[*m_current];
        for (HostOutcome& host : m_result.hosts) {
            if (host.moduleId == id && host.state == HostOutcome::State::NotInstalled)
                return &host;
        }
        return nullptr;
    }

    void settle(const std::string& id, HostOutcome::State state, std::string reason)
    {
        if (HostOutcome* host = entryFor(id)) {
            host->state = state;
            host->reason = std::move(reason);
        }
    }

    /// More entries than this in a "total" or "host" line are not believed.
    static constexpr std::size_t kMaxEntries = 100000;

    InstallStep::Result& m_result;
    const std::function<void(const InstallStep::Progress&)>& m_progress;
    std::optional<std::size_t> m_current;
    bool m_refused = false;
    bool m_busy = false;
};

/// An authorization reference, freed when the run ends however it ends.
struct AuthorizationHolder {
    platform::AuthorizationRef ref = nullptr;
    AuthorizationHolder() = default;
    AuthorizationHolder(const AuthorizationHolder&) = delete;
    AuthorizationHolder& operator=(const AuthorizationHolder&) = delete;
    ~AuthorizationHolder()
    {
        if (ref)
            platform::AuthorizationFree(ref, 0);
    }
};

/// The stream on InstallHelper's output, closed before its authorization is freed (which waits
/// for the program once its output has ended).
struct StreamHolder {
    std::FILE* stream = nullptr;
    StreamHolder() = default;
    StreamHolder(const StreamHolder&) = delete;
    StreamHolder& operator=(const StreamHolder&) = delete;
    ~StreamHolder() { close(); }
    void close()
    {
        if (stream)
            std::fclose(stream);
        stream = nullptr;
    }
};

/// Reads stream to its end, a line at a time, however long the lines are; a line holding a NUL
/// byte is logged and left out.
template <class Take>
void readLines(std::FILE* stream, Take take)
{
    scripthelper::readProtocolLines(stream, take, [](const std::string& line) {
        platform::NSLog("A line of InstallHelper holding a NUL byte was not read: %@", {scripthelper::printable(line)});
    });
}

InstallStep::Outcome outcomeOfPrompt(platform::OSStatus granted)
{
    switch (granted) {
    case platform::errAuthorizationDenied:
        return InstallStep::Outcome::NotAuthorized;
    case platform::errAuthorizationCanceled:
        return InstallStep::Outcome::Dismissed;
    case platform::errAuthorizationInteractionNotAllowed:
        return InstallStep::Outcome::NoAgent;
    default:
        return InstallStep::Outcome::Unavailable;
    }
}

InstallStep::Outcome outcomeOfStatus(int status, const LineFollower& lines)
{
    if (status == scripthelper::kExitBusy || lines.busy())
        return InstallStep::Outcome::Busy;
    switch (status) {
    case scripthelper::kExitDone:
        return InstallStep::Outcome::AllInstalled;
    case scripthelper::kExitIncomplete:
        return InstallStep::Outcome::SomeSkipped;
    case scripthelper::kExitPlanUnusable:
    case scripthelper::kExitUnavailable:
    case scripthelper::kExitCannotCreate:
    case scripthelper::kExitRegistryUnusable:
    case scripthelper::kExitSettingUnusable:
        return InstallStep::Outcome::Refused;
    default:
        return InstallStep::Outcome::Failed;
    }
}

}  // namespace

std::size_t InstallStep::Result::count(HostOutcome::State state) const
{
    return static_cast<std::size_t>(
        std::count_if(hosts.begin(), hosts.end(), [state](const HostOutcome& host) { return host.state == state; }));
}

std::string InstallStep::defaultHelperPath()
{
    return platform::testSeam("PLATFORM_INSTALL_HELPER").value_or(INSTALLER_HOST_INSTALL_HELPER);
}

std::string InstallStep::planPath()
{
    return platform::stringByAppendingPathComponent(platform::preferencesDirectory(), kInstallPlanFileName);
}

InstallStep::InstallStep(std::string helperPath) : m_helperPath(std::move(helperPath)) {}

void InstallStep::report(const Progress& progress) const
{
    if (m_progress)
        m_progress(progress);
}

InstallStep::Result InstallStep::run() const
{
    Result result;
    try {
        result.planPath = planPath();
        bool missing = false;
        std::optional<std::vector<HostOutcome>> hosts = readPlan(result.planPath, &missing);
        if (!hosts) {
            result.outcome = missing ? Outcome::PlanMissing : Outcome::PlanUnreadable;
            return result;
        }
        result.hosts = std::move(*hosts);
        if (result.hosts.empty()) {
            result.outcome = Outcome::NothingSelected;
            return result;
        }

        report(Progress{Progress::Phase::Authorizing, 0, result.hosts.size(), {}});
        // As root the program starts directly; otherwise an administrator is asked.
        std::unique_ptr<platform::headless::HeadlessAuthorization> direct;
        if (m_directWhenPrivileged && platform::AuthorizationProcessIsPrivileged())
            direct = std::make_unique<platform::headless::HeadlessAuthorization>();
        platform::AuthorizationItem right;
        right.name = platform::kAuthorizationRightExecute;
        right.valueLength = m_helperPath.size();
        right.value = m_helperPath.c_str();
        platform::AuthorizationRights rights;
        rights.count = 1;
        rights.items = &right;
        AuthorizationHolder authorization;
        StreamHolder output;
        platform::OSStatus granted = platform::AuthorizationCreate(nullptr, nullptr, 0, &authorization.ref);
        if (granted == platform::errAuthorizationSuccess) {
            granted = platform::AuthorizationCopyRights(
                authorization.ref, &rights, nullptr,
                platform::kAuthorizationFlagInteractionAllowed | platform::kAuthorizationFlagExtendRights, nullptr);
        }
        if (granted != platform::errAuthorizationSuccess) {
            result.outcome = outcomeOfPrompt(granted);
        } else if (platform::AuthorizationExecuteWithPrivileges(authorization.ref, m_helperPath.c_str(), 0, nullptr,
                                                                &output.stream) != platform::errAuthorizationSuccess ||
                   output.stream == nullptr) {
            result.outcome = Outcome::Unavailable;
        } else {
            report(Progress{Progress::Phase::Running, 0, result.hosts.size(), {}});
            LineFollower follower(result, m_progress);
            readLines(output.stream, [&follower](const std::string& line) { follower.take(line); });
            int status = -1;
            if (platform::AuthorizationCopyToolExitStatus(authorization.ref, &status) ==
                platform::errAuthorizationSuccess)
                result.toolStatus = status;
            output.close();
            result.outcome = result.toolStatus ? outcomeOfStatus(*result.toolStatus, follower) : Outcome::Failed;
            if (result.outcome == Outcome::Failed && follower.refused())
                result.outcome = Outcome::Refused;
            // A skipped entry is reported as such whatever the status says.
            if (result.outcome == Outcome::AllInstalled && result.count(HostOutcome::State::Skipped) > 0)
                result.outcome = Outcome::SomeSkipped;
        }
    } catch (const std::bad_alloc&) {
        result.outcome = Outcome::Failed;
    }
    return result;
}

}  // namespace installerhost
