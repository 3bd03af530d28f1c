#pragma once

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
inline constexpr const char* kFinishedMessageKey = "FINISHED_MESSAGE";
inline constexpr const char* kQuitConfirmTitleKey = "QUIT_CONFIRM_TITLE";
inline constexpr const char* kQuitConfirmMessageKey = "QUIT_CONFIRM_MESSAGE";
inline constexpr const char* kQuitButtonKey = "QUIT_BUTTON";
inline constexpr const char* kResumeButtonKey = "RESUME_BUTTON";

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

    /// The English text of one of the keys above; the key itself for any other key.
    static std::string englishText(const std::string& key);

    /// The resource bundle, or null.
    const std::shared_ptr<platform::Bundle>& resources() const { return m_resources; }

private:
    std::shared_ptr<platform::Bundle> m_resources;
};

}  // namespace installerhost
