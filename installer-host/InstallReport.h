#pragma once

#include "installer-host/InstallStep.h"

#include <iosfwd>
#include <string>

namespace installerhost {

/// The Install step's result for programs and logs: the exit status it comes to, one word per
/// outcome, and the English lines of an unattended run.
class InstallReport {
public:
    /// The exit status of the whole run (HostExitStatus.h): kExitDone when everything selected
    /// is installed, kExitSomeSkipped, or the status of the failure.
    static int exitStatus(const InstallStep::Result& result);
    /// A word for the outcome ("installed", "some-skipped", "not-authorized", ...).
    static std::string outcomeWord(InstallStep::Outcome outcome);
    /// One word for a host's state: "installed", "updated", "skipped" or "not-installed".
    static std::string stateWord(HostOutcome::State state);
    /// The one-line English summary ("installed into 2 host applications", "not authorized;
    /// nothing was installed", ...).
    static std::string summary(const InstallStep::Result& result);

    /// Prints "install: STATE FOLDER" for every host (": REASON" after a skipped one), then the
    /// summary: on out as "install: SUMMARY" when the status is kExitDone or kExitSomeSkipped,
    /// else on err as "PROGRAM: SUMMARY".
    static void print(const InstallStep::Result& result, std::ostream& out, std::ostream& err,
                      const std::string& program);
};

}  // namespace installerhost
