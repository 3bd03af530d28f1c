#pragma once

#include <ostream>
#include <string>

namespace scripthelper {

/// One run of ScriptHelper: reads the user's uninstall plan, checks every entry against the
/// registry, removes the modules it can prove are the entries' own, updates the registry, and
/// writes one line per action.
///
/// An entry is carried out only when its module is in the registry with a name holding "vLX" (the
/// modules the uninstaller lists), the entry's "UnInstallPath" is the parent of the registry's
/// "InstallPath", that install path is absolute, free of "." and "..", of NUL and of control
/// characters, strictly inside a folder where modules may live (PathPolicy), reached without a
/// symbolic link, not itself a link, holds no other mount and no other registered module that
/// stays. The install path itself is removed, and the registry rewritten at once without it; its
/// parent goes only when it is then empty, inside a folder where modules may live, and belongs to
/// no module that stays.
///
/// Lines: "removed PATH", "already gone PATH" (the module's folder no longer exists; its entry is
/// dropped), "removed empty folder PATH", "skipped UUID: reason", "failed UUID: reason",
/// "registry updated", "nothing to remove", "refused: ..." when the registry or the plan cannot
/// be used; with dry run "would remove PATH", "would remove empty folder PATH", "would forget UUID"
/// and "would update registry".
class RemovalRun {
public:
    /// The registry as the fixed machine-wide path, before it is resolved under the machine root.
    static constexpr const char* kRegistryPath = "/Library/Preferences/com.tavix.KEPL2.plist";
    /// The plan's name in the user's Preferences folder.
    static constexpr const char* kPlanName = "com.tavix.pluginUnInstall.plist";

    /// Exit statuses: every entry done; anything refused or failed; a wrong command line.
    static constexpr int kExitDone = 0;
    static constexpr int kExitIncomplete = 1;
    static constexpr int kExitUsage = 2;

    RemovalRun(std::ostream& out, bool dryRun) : m_out(out), m_dryRun(dryRun) {}

    /// Carries out the plan; kExitDone when every entry was done, kExitIncomplete otherwise.
    int run();

private:
    void say(const std::string& line);

    std::ostream& m_out;
    bool m_dryRun;
};

}  // namespace scripthelper
