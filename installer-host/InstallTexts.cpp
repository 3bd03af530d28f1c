#include "installer-host/InstallTexts.h"

#include "installer-host/HostStrings.h"

#include "platform/foundation/Plural.h"

namespace installerhost {

namespace {

using Outcome = InstallStep::Outcome;

}  // namespace

InstallTexts::InstallTexts(const HostStrings& strings) : m_strings(strings) {}

std::string InstallTexts::progress(const InstallStep::Progress& progress) const
{
    switch (progress.phase) {
    case InstallStep::Progress::Phase::Authorizing:
        return m_strings.text(kInstallAuthorizingKey);
    case InstallStep::Progress::Phase::Running:
        return m_strings.text(kInstallRunningKey);
    case InstallStep::Progress::Phase::Host:
        break;
    }
    const std::string language = m_strings.language();
    return HostStrings::format(m_strings.text(kInstallProgressKey),
                               {platform::formatCount(language, progress.index),
                                platform::formatCount(language, progress.count), progress.folder});
}

std::string InstallTexts::hostState(const HostOutcome& host) const
{
    switch (host.state) {
    case HostOutcome::State::Installed:
        return m_strings.text(kHostInstalledKey);
    case HostOutcome::State::Updated:
        return m_strings.text(kHostUpdatedKey);
    case HostOutcome::State::Skipped:
        return HostStrings::format(m_strings.text(kHostSkippedKey), {host.reason.empty() ? "-" : host.reason});
    case HostOutcome::State::NotInstalled:
        break;
    }
    return m_strings.text(kHostNotInstalledKey);
}

std::string InstallTexts::placedAndSkipped(const InstallStep::Result& result) const
{
    const std::size_t placed = result.placed();
    std::string text = placed > 0 ? m_strings.countedText(kInstalledIntoKey, placed) : m_strings.text(kNothingInstalledKey);
    if (const std::size_t skipped = result.count(HostOutcome::State::Skipped); skipped > 0)
        text += "\n" + m_strings.countedText(kSkippedCountKey, skipped);
    return text;
}

std::string InstallTexts::summary(const InstallStep::Result& result) const
{
    switch (result.outcome) {
    case Outcome::AllInstalled:
    case Outcome::SomeSkipped:
        return placedAndSkipped(result);
    case Outcome::NothingSelected:
        return m_strings.text(kNothingSelectedKey);
    case Outcome::PlanMissing:
        return m_strings.text(kPlanMissingKey);
    case Outcome::PlanUnreadable:
        return m_strings.text(kPlanUnreadableKey);
    case Outcome::Refused:
        return m_strings.text(kInstallRefusedKey);
    case Outcome::Busy:
        return m_strings.text(kInstallBusyKey);
    case Outcome::NotAuthorized:
        return m_strings.text(kNotAuthorizedKey);
    case Outcome::Dismissed:
        return m_strings.text(kDismissedKey);
    case Outcome::NoAgent:
        return m_strings.text(kNoAgentKey);
    case Outcome::Unavailable:
        return m_strings.text(kUnavailableKey);
    case Outcome::Failed:
        break;
    }
    const std::string status = result.toolStatus ? std::to_string(*result.toolStatus) : std::string("-");
    return HostStrings::format(m_strings.text(kFailedKey), {status});
}

std::string InstallTexts::detail(const InstallStep::Result& result) const
{
    if (result.outcome == Outcome::Refused || result.outcome == Outcome::Busy)
        return result.detail;
    return {};
}

std::string InstallTexts::finalMessage(const InstallStep::Result& result) const
{
    std::string text;
    switch (result.outcome) {
    case Outcome::AllInstalled:
    case Outcome::SomeSkipped:
    case Outcome::Failed:
        text = placedAndSkipped(result);
        break;
    case Outcome::NothingSelected:
        text = m_strings.text(kNothingSelectedKey);
        break;
    default:
        text = m_strings.text(kNothingInstalledKey);
        break;
    }
    return text + "\n\n" + m_strings.text(kFinishedCloseKey);
}

}  // namespace installerhost
