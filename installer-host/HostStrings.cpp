#include "installer-host/HostStrings.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Path.h"

#include <string_view>
#include <utility>

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
    {kFinishedMessageKey,
     "Your choices have been saved.\n\nThe installation goes on with the next steps; you can close the "
     "installer now."},
    {kQuitConfirmTitleKey, "Quit the installer?"},
    {kQuitConfirmMessageKey, "The installation is not finished. If you quit now, nothing is installed."},
    {kQuitButtonKey, "Quit"},
    {kResumeButtonKey, "Resume"},
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

std::string HostStrings::englishText(const std::string& key)
{
    for (const EnglishText& entry : kEnglish) {
        if (entry.key == key)
            return std::string(entry.text);
    }
    return key;
}

}  // namespace installerhost
