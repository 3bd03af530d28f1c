#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace platform {
class Bundle;
}

namespace installerhost {

/// Keys of the host's own texts in its strings tables.
inline constexpr const char* kWindowTitleKey = "WINDOW_TITLE";
inline constexpr const char* kCancelButtonKey = "CANCEL_BUTTON";
inline constexpr const char* kBackButtonKey = "BACK_BUTTON";
inline constexpr const char* kContinueButtonKey = "CONTINUE_BUTTON";
inline constexpr const char* kCloseButtonKey = "CLOSE_BUTTON";
inline constexpr const char* kFinishStepKey = "FINISH_STEP";
inline constexpr const char* kFinishedCloseKey = "FINISHED_CLOSE";
inline constexpr const char* kQuitConfirmTitleKey = "QUIT_CONFIRM_TITLE";
inline constexpr const char* kQuitConfirmMessageKey = "QUIT_CONFIRM_MESSAGE";
inline constexpr const char* kQuitButtonKey = "QUIT_BUTTON";
inline constexpr const char* kResumeButtonKey = "RESUME_BUTTON";

/// Keys of the Install step's texts. The counted ones are looked up with "_ONE" or "_OTHER"
/// appended (countedText).
inline constexpr const char* kInstallStepKey = "INSTALL_STEP";
inline constexpr const char* kInstallAgainButtonKey = "INSTALL_AGAIN_BUTTON";
inline constexpr const char* kInstallAuthorizingKey = "INSTALL_AUTHORIZING";
inline constexpr const char* kInstallRunningKey = "INSTALL_RUNNING";
inline constexpr const char* kInstallProgressKey = "INSTALL_PROGRESS";
inline constexpr const char* kInstallProgressNameKey = "INSTALL_PROGRESS_NAME";
inline constexpr const char* kInstallListNameKey = "INSTALL_LIST_NAME";
inline constexpr const char* kHostInstalledKey = "HOST_INSTALLED";
inline constexpr const char* kHostUpdatedKey = "HOST_UPDATED";
inline constexpr const char* kHostSkippedKey = "HOST_SKIPPED";
inline constexpr const char* kHostNotInstalledKey = "HOST_NOT_INSTALLED";
inline constexpr const char* kInstalledIntoKey = "INSTALLED_INTO";
inline constexpr const char* kSkippedCountKey = "SKIPPED_COUNT";
inline constexpr const char* kNothingInstalledKey = "NOTHING_INSTALLED";
inline constexpr const char* kNothingSelectedKey = "NOTHING_SELECTED";
inline constexpr const char* kPlanMissingKey = "PLAN_MISSING";
inline constexpr const char* kPlanUnreadableKey = "PLAN_UNREADABLE";
inline constexpr const char* kInstallRefusedKey = "INSTALL_REFUSED";
inline constexpr const char* kInstallBusyKey = "INSTALL_BUSY";
inline constexpr const char* kNotAuthorizedKey = "INSTALL_NOT_AUTHORIZED";
inline constexpr const char* kDismissedKey = "INSTALL_DISMISSED";
inline constexpr const char* kNoAgentKey = "INSTALL_NO_AGENT";
inline constexpr const char* kUnavailableKey = "INSTALL_UNAVAILABLE";
inline constexpr const char* kFailedKey = "INSTALL_FAILED";

/// The folder of the host's own resources, beside the program: a bundle with one .lproj folder
/// per language.
inline constexpr const char* kResourcesFolderName = "installer-host.resources";

/// The installer host's own texts (window title, buttons, final step), looked up with the
/// platform's standard lookup in the host's resource bundle, so that they are in the language
/// that the panes' bundles pick as well. A missing bundle or entry gives the English text.
class HostStrings {
public:
    /// The resource bundle in programFolder, or null when it is not there.
    static std::shared_ptr<platform::Bundle> locateResources(const std::string& programFolder);

    /// Without a bundle every text is the English one.
    explicit HostStrings(std::shared_ptr<platform::Bundle> resources);

    /// The text for one of the keys above.
    std::string text(const std::string& key) const;

    /// The text of a counted key for n: key + "_ONE" or key + "_OTHER" as the language's plural
    /// rules pick, with "%@" replaced by n written as the language writes counts.
    std::string countedText(const std::string& key, std::uint64_t n) const;

    /// The language the texts are in: the resources' first preferred localization, "en" without.
    std::string language() const;

    /// The English text of one of the keys above; the key itself for any other key.
    static std::string englishText(const std::string& key);

    /// pattern with each "%@" replaced by the next of arguments, in order; "%@" beyond them
    /// stays.
    static std::string format(const std::string& pattern, std::initializer_list<std::string> arguments);

    /// The resource bundle, or null.
    const std::shared_ptr<platform::Bundle>& resources() const { return m_resources; }

private:
    std::shared_ptr<platform::Bundle> m_resources;
};

}  // namespace installerhost
