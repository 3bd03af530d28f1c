#include "installer-host/InstallReport.h"

#include "installer-host/HostExitStatus.h"

#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <ostream>

namespace installerhost {

namespace {

using Outcome = InstallStep::Outcome;

constexpr const char* kNothingInstalled = "; nothing was installed";

std::string applications(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " host application" : " host applications");
}

}  // namespace

int InstallReport::exitStatus(const InstallStep::Result& result)
{
    switch (result.outcome) {
    case Outcome::AllInstalled:
    case Outcome::NothingSelected:
        return kExitDone;
    case Outcome::SomeSkipped:
        return kExitSomeSkipped;
    case Outcome::PlanMissing:
    case Outcome::PlanUnreadable:
        return kExitPlanUnusable;
    case Outcome::Refused:
        // InstallHelper's own status says what it refused; these mean the same here.
        switch (result.toolStatus.value_or(-1)) {
        case scripthelper::kExitPlanUnusable:
        case scripthelper::kExitUnavailable:
        case scripthelper::kExitCannotCreate:
        case scripthelper::kExitRegistryUnusable:
        case scripthelper::kExitSettingUnusable:
            return *result.toolStatus;
        default:
            return kExitSoftware;
        }
    case Outcome::Busy:
        return kExitBusy;
    case Outcome::NotAuthorized:
    case Outcome::Dismissed:
        return kExitNotAuthorized;
    case Outcome::NoAgent:
    case Outcome::Unavailable:
        return kExitUnavailable;
    case Outcome::Failed:
        return kExitSoftware;
    }
    return kExitSoftware;
}

std::string InstallReport::outcomeWord(InstallStep::Outcome outcome)
{
    switch (outcome) {
    case Outcome::AllInstalled:
        return "installed";
    case Outcome::SomeSkipped:
        return "some-skipped";
    case Outcome::NothingSelected:
        return "nothing-selected";
    case Outcome::PlanMissing:
        return "plan-missing";
    case Outcome::PlanUnreadable:
        return "plan-unreadable";
    case Outcome::Refused:
        return "refused";
    case Outcome::Busy:
        return "busy";
    case Outcome::NotAuthorized:
        return "not-authorized";
    case Outcome::Dismissed:
        return "dismissed";
    case Outcome::NoAgent:
        return "no-agent";
    case Outcome::Unavailable:
        return "unavailable";
    case Outcome::Failed:
        return "failed";
    }
    return "failed";
}

std::string InstallReport::stateWord(HostOutcome::State state)
{
    switch (state) {
    case HostOutcome::State::Installed:
        return "installed";
    case HostOutcome::State::Updated:
        return "updated";
    case HostOutcome::State::Skipped:
        return "skipped";
    case HostOutcome::State::NotInstalled:
        break;
    }
    return "not-installed";
}

std::string InstallReport::summary(const InstallStep::Result& result)
{
    const std::string status = result.toolStatus ? " (status " + std::to_string(*result.toolStatus) + ")" : "";
    switch (result.outcome) {
    case Outcome::AllInstalled:
        return "installed into " + applications(result.placed());
    case Outcome::SomeSkipped:
        return "installed into " + std::to_string(result.placed()) + " of " + applications(result.hosts.size()) +
               "; " + std::to_string(result.count(HostOutcome::State::Skipped)) + " skipped";
    case Outcome::NothingSelected:
        return "no host application was selected" + std::string(kNothingInstalled);
    case Outcome::PlanMissing:
        return "the install plan " + result.planPath + " does not exist" + kNothingInstalled;
    case Outcome::PlanUnreadable:
        return "the install plan " + result.planPath + " cannot be read" + kNothingInstalled;
    case Outcome::Refused:
        return "InstallHelper refused" + status + (result.detail.empty() ? "" : ": " + result.detail) +
               kNothingInstalled;
    case Outcome::Busy:
        return "another install or removal is running" + (result.detail.empty() ? "" : " (" + result.detail + ")") +
               kNothingInstalled;
    case Outcome::NotAuthorized:
        return "not authorized" + std::string(kNothingInstalled);
    case Outcome::Dismissed:
        return "the authentication was dismissed" + std::string(kNothingInstalled);
    case Outcome::NoAgent:
        return "no authentication agent is running (start pkttyagent or a desktop session)" +
               std::string(kNothingInstalled);
    case Outcome::Unavailable:
        return "polkit cannot be asked or InstallHelper cannot be started" + std::string(kNothingInstalled);
    case Outcome::Failed:
        return "InstallHelper failed" + (status.empty() ? std::string(" (no exit status)") : status) +
               "; installed into " + std::to_string(result.placed()) + " of " + applications(result.hosts.size());
    }
    return {};
}

void InstallReport::print(const InstallStep::Result& result, std::ostream& out, std::ostream& err,
                          const std::string& program)
{
    for (const HostOutcome& host : result.hosts) {
        out << "install: " << stateWord(host.state) << ' ' << (host.folder.empty() ? "-" : host.folder);
        if (host.state == HostOutcome::State::Skipped && !host.reason.empty())
            out << ": " << host.reason;
        out << '\n';
    }
    const int status = exitStatus(result);
    if (status == kExitDone || status == kExitSomeSkipped)
        out << "install: " << summary(result) << '\n';
    else
        err << program << ": " << summary(result) << '\n';
    out.flush();
    err.flush();
}

}  // namespace installerhost
