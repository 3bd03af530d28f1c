#include "installer-host/HostStrings.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Path.h"
#include "platform/foundation/Plural.h"

#include <string_view>
#include <utility>
#include <vector>

namespace installerhost {

namespace {

struct EnglishText {
    std::string_view key;
    std::string_view text;
};

// The texts the window shows when the strings tables are missing; the same as the English table.
constexpr EnglishText kEnglish[] = {
    {kWindowTitleKey, "Installer"},
    {kCancelButtonKey, "Cancel"},
    {kBackButtonKey, "Go Back"},
    {kContinueButtonKey, "Continue"},
    {kCloseButtonKey, "Close"},
    {kFinishStepKey, "Finish"},
    {kFinishedCloseKey, "You can close the installer now."},
    {kQuitConfirmTitleKey, "Quit the installer?"},
    {kQuitConfirmMessageKey, "The installation is not finished. If you quit now, nothing is installed."},
    {kQuitButtonKey, "Quit"},
    {kResumeButtonKey, "Resume"},
    {kInstallStepKey, "Install"},
    {kInstallAgainButtonKey, "Install Again"},
    {kInstallAuthorizingKey, "Waiting for an administrator to allow the installation…"},
    {kInstallRunningKey, "Installing…"},
    {kInstallProgressKey, "Host application %@ of %@: %@"},
    {kInstallProgressNameKey, "Installation progress"},
    {kInstallListNameKey, "Outcome for each host application"},
    {kHostInstalledKey, "Installed"},
    {kHostUpdatedKey, "Updated: the earlier copy was replaced"},
    {kHostSkippedKey, "Skipped: %@"},
    {kHostNotInstalledKey, "Not installed"},
    {"INSTALLED_INTO_ONE", "The print plug-in was installed into %@ host application."},
    {"INSTALLED_INTO_OTHER", "The print plug-in was installed into %@ host applications."},
    {"SKIPPED_COUNT_ONE", "%@ host application was skipped."},
    {"SKIPPED_COUNT_OTHER", "%@ host applications were skipped."},
    {kNothingInstalledKey, "The print plug-in was not installed."},
    {kNothingSelectedKey, "No host application was selected, so nothing was installed."},
    {kPlanMissingKey,
     "The list of host applications you chose was not found, so nothing was installed. Go back and choose "
     "them again."},
    {kPlanUnreadableKey,
     "The list of host applications you chose cannot be read, so nothing was installed. Go back and choose "
     "them again."},
    {kInstallRefusedKey, "The installation could not be carried out, and nothing was changed."},
    {kInstallBusyKey,
     "Another installation or removal of plug-ins is running, so nothing was installed. Try again when it "
     "has finished."},
    {kNotAuthorizedKey,
     "Installing needs an administrator's permission, and it was not given. Nothing was installed."},
    {kDismissedKey,
     "The request for an administrator's password was closed, so nothing was installed. Choose Install "
     "Again to be asked again."},
    {kNoAgentKey,
     "No password request can be shown, because no authentication agent is running in this session. "
     "Nothing was installed."},
    {kUnavailableKey,
     "The installation cannot be started: the system's authorization service or the installation program is "
     "not available. Nothing was installed."},
    {kFailedKey, "The installation program stopped unexpectedly (status %@). The list shows what was installed."},
};

}  // namespace

std::shared_ptr<platform::Bundle> HostStrings::locateResources(const std::string& programFolder)
{
    const std::string path = platform::stringByAppendingPathComponent(programFolder, kResourcesFolderName);
    bool isDirectory = false;
    if (!platform::fileExistsAtPath(path, &isDirectory) || !isDirectory)
        return nullptr;
    return platform::Bundle::bundleWithPath(path);
}

HostStrings::HostStrings(std::shared_ptr<platform::Bundle> resources) : m_resources(std::move(resources)) {}

std::string HostStrings::text(const std::string& key) const
{
    const std::string english = englishText(key);
    if (!m_resources)
        return english;
    return m_resources->localizedStringForKey(key, english);
}

std::string HostStrings::countedText(const std::string& key, std::uint64_t n) const
{
    return platform::countedText(language(), key, n, [this](const std::string& counted) { return text(counted); });
}

std::string HostStrings::language() const
{
    const std::vector<std::string> localizations =
        m_resources ? m_resources->preferredLocalizations() : std::vector<std::string>();
    return localizations.empty() ? std::string("en") : localizations.front();
}

std::string HostStrings::format(const std::string& pattern, std::initializer_list<std::string> arguments)
{
    std::string result;
    auto next = arguments.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '@' && next != arguments.end()) {
            result += *next++;
            ++i;
            continue;
        }
        result += pattern[i];
    }
    return result;
}

std::string HostStrings::englishText(const std::string& key)
{
    for (const EnglishText& entry : kEnglish) {
        if (entry.key == key)
            return std::string(entry.text);
    }
    return key;
}

}  // namespace installerhost
