#pragma once

#include "installer-host/InstallStep.h"

#include <string>

namespace installerhost {

class HostStrings;

/// The Install step's texts in the user's language, for the window: the progress line, each
/// host's outcome, the overall message and the final page. InstallHelper's own reasons (a
/// skipped host's, a refusal's) are its English words and are shown as they are.
class InstallTexts {
public:
    /// The strings must outlive this object.
    explicit InstallTexts(const HostStrings& strings);

    /// The status line for a point of the run ("Host application 2 of 3: FOLDER").
    std::string progress(const InstallStep::Progress& progress) const;
    /// A host's outcome ("Installed", "Skipped: REASON", ...).
    std::string hostState(const HostOutcome& host) const;
    /// The overall message of the Install page: what was installed, or why nothing was.
    std::string summary(const InstallStep::Result& result) const;
    /// InstallHelper's own words for a refusal or a busy lock, when it gave any; else empty.
    std::string detail(const InstallStep::Result& result) const;
    /// The final page's text: what the installation came to, and that the installer may close.
    std::string finalMessage(const InstallStep::Result& result) const;

private:
    /// "Installed into N" or "not installed", followed by the skipped count when there is one.
    std::string placedAndSkipped(const InstallStep::Result& result) const;

    const HostStrings& m_strings;
};

}  // namespace installerhost
