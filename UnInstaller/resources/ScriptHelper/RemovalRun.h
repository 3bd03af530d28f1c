#pragma once

#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <functional>
#include <ostream>
#include <string>

namespace scripthelper {

/// One run of ScriptHelper: takes the removal lock, finishes what an interrupted run left in the
/// journal, reads the user's uninstall plan, checks every entry against the registry, removes the
/// modules it can prove are the entries' own, writes the registry once, and reports each event as
/// one line of RemovalEvent.
///
/// An entry is carried out only when its module is in the registry with a name holding "vLX" (the
/// modules the uninstaller lists), the entry's "UnInstallPath" is the parent of the registry's
/// "InstallPath", that install path is absolute, free of "." and "..", of NUL and of control
/// characters, strictly inside a folder where modules may live (ModuleFolders), reached without a
/// symbolic link, not itself a link, holds no other mount and no other registered module that
/// stays. The install path is journalled, renamed aside in its own folder and deleted; its parent
/// goes too when it is then empty, inside a folder where modules may live, and belongs to no
/// module that stays. An entry whose module the registry no longer lists is already absent.
///
/// Whatever instant the run dies at, every module is either listed and whole, or, once the next
/// run has read the journal, unlisted and gone.
class RemovalRun {
public:
    /// The registry as the fixed machine-wide path, before it is resolved under the machine root.
    static constexpr const char* kRegistryPath = "/Library/Preferences/com.tavix.KEPL2.plist";
    /// The plan's name in the user's Preferences folder.
    static constexpr const char* kPlanName = "com.tavix.pluginUnInstall.plist";
    /// A plan may name as many entries as the registry holds modules, and at least this many.
    static constexpr std::size_t kMinPlanEntries = 65536;
    /// How long a run waits for another to let go of the lock.
    static constexpr int kLockWaitMs = 30 * 1000;
    /// While it works, a run writes the registry at most this often, besides once at its end.
    static constexpr int kCheckpointMs = 5 * 1000;

    struct Options {
        bool dryRun = false;
        int lockWaitMs = kLockWaitMs;
        /// Asked before each module; true ends the run there, keeping the modules left.
        std::function<bool()> stopRequested;
        /// The process ends with the run: the registry read is left to the end of the process
        /// rather than freed one allocation at a time.
        bool processEndsWithTheRun = false;
    };

    RemovalRun(std::ostream& out, Options options) : m_out(out), m_options(std::move(options)) {}
    RemovalRun(std::ostream& out, bool dryRun) : m_out(out) { m_options.dryRun = dryRun; }

    /// Carries out the plan; one of the exit statuses of RemovalProtocol.h.
    int run();

private:
    void emit(const RemovalEvent& event);

    std::ostream& m_out;
    Options m_options;
};

}  // namespace scripthelper
