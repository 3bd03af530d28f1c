#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace installerhost {

/// The install plan that the pane writes into the Preferences folder, and its list of entries.
inline constexpr const char* kInstallPlanFileName = "com.tavix.pluginInstall.plist";
inline constexpr const char* kInstallAppsKey = "InstallApps";
inline constexpr const char* kPrintInstallPathKey = "PrintInstallPath";

/// What became of one entry of the install plan: one host application's plug-in folder.
struct HostOutcome {
    enum class State {
        NotInstalled,  ///< nothing was placed (the run did not reach it, or never started)
        Installed,     ///< placed and registered
        Updated,       ///< was installed already and is replaced in place
        Skipped,       ///< InstallHelper left it out; reason says why
    };

    /// The folder the plug-in goes into, as InstallHelper names it (the plan's until it does).
    std::string folder;
    /// The module identifier InstallHelper gave it; empty before it did.
    std::string moduleId;
    State state = State::NotInstalled;
    /// Skipped: InstallHelper's reason, which names the folder and why.
    std::string reason;
};

/// The Install step: reads the install plan, runs InstallHelper with administrator rights to
/// carry it out, and follows its protocol lines (see RemovalProtocol.h) to what became of each
/// host application. It holds no user interface and runs synchronously; the window calls it on a
/// worker thread and shows its progress, the unattended run prints its result.
class InstallStep {
public:
    /// How the step ended as a whole.
    enum class Outcome {
        AllInstalled,     ///< every entry installed or updated
        SomeSkipped,      ///< InstallHelper skipped some entries (status 1)
        NothingSelected,  ///< the plan names no entry; nobody was asked for rights
        PlanMissing,      ///< there is no plan file
        PlanUnreadable,   ///< the plan file is not a property list with an InstallApps array
        Refused,          ///< InstallHelper did nothing: plan, registry, setting or payload unusable
        Busy,             ///< another install or removal holds the lock
        NotAuthorized,    ///< the rights were refused
        Dismissed,        ///< the authentication prompt was dismissed
        NoAgent,          ///< no authentication agent could show a prompt
        Unavailable,      ///< no authorization service, or InstallHelper could not be started
        Failed,           ///< InstallHelper ended with another status or a signal
    };

    /// Where the run is, for a progress display.
    struct Progress {
        enum class Phase {
            Authorizing,  ///< asking for administrator rights
            Running,      ///< InstallHelper started; no entry reported yet
            Host,         ///< working on entry index of count, for folder
        };
        Phase phase = Phase::Authorizing;
        /// Host: 1 to count.
        std::size_t index = 0;
        std::size_t count = 0;
        std::string folder;
    };

    struct Result {
        Outcome outcome = Outcome::Failed;
        /// One entry per plan entry, in the plan's order.
        std::vector<HostOutcome> hosts;
        /// InstallHelper's reason for Refused or Busy, as its line gave it; empty otherwise.
        std::string detail;
        /// InstallHelper's exit status, or none when it did not run or its end is unknown.
        std::optional<int> toolStatus;
        /// The plan file that was read.
        std::string planPath;

        std::size_t count(HostOutcome::State state) const;
        /// Installed or updated.
        std::size_t placed() const { return count(HostOutcome::State::Installed) + count(HostOutcome::State::Updated); }
    };

    /// The InstallHelper the build names; in builds with test seams, $PLATFORM_INSTALL_HELPER
    /// when it is set.
    static std::string defaultHelperPath();
    /// The install plan in the user's Preferences folder.
    static std::string planPath();

    explicit InstallStep(std::string helperPath = defaultHelperPath());

    /// Whether a process that runs as root starts InstallHelper directly (the default) or asks
    /// through the installed authorization backend like any other (a run whose prompts a test
    /// answers).
    void setDirectWhenPrivileged(bool direct) { m_directWhenPrivileged = direct; }
    /// Called from the thread that runs run(), at each change of phase and each entry begun.
    void setProgressHandler(std::function<void(const Progress&)> handler) { m_progress = std::move(handler); }

    /// Reads the plan and, when it names entries, carries it out. Never throws.
    Result run() const;

private:
    void report(const Progress& progress) const;

    std::string m_helperPath;
    bool m_directWhenPrivileged = true;
    std::function<void(const Progress&)> m_progress;
};

}  // namespace installerhost
