#pragma once

#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <ostream>
#include <string>

namespace scripthelper {

/// One run of InstallHelper: carries out the install plan that Oxlade's pane wrote, the other half
/// of what ScriptHelper undoes. Under the lock and journal that removal uses, it settles what an
/// interrupted run left, then for each plan entry places the payload's print plug-in in the
/// entry's "PrintInstallPath", its layout component in "LayoutInstallPath" (when the plan's
/// "LayoutPluginInstall" is "YES") and its layout-plug-in module in a folder of its own inside the
/// first folder where modules may live, and registers that module with a receipt of everything it
/// created. Older copies of the print plug-in in "DeletePluginPath" (recognised by their bundle
/// identifier) are removed.
///
/// A host folder the caller (the owner of the home folder) may write is written with the caller's
/// rights; one inside the folders where modules may live with the program's own; any other is
/// skipped with its reason, and so is an entry any of whose parts cannot be placed: nothing of it
/// stays. Everything is staged beside its place and renamed into it, journalled first, so that an
/// install killed at any instant is finished or undone by the next run of either program.
class InstallRun {
public:
    /// The plan's name in the user's Preferences folder.
    static constexpr const char* kPlanName = "com.tavix.pluginInstall.plist";

    struct Options {
        /// The payload folder: Print/, Layout/ and Module/, one bundle in each.
        std::string payloadFolder;
        int lockWaitMs = 30 * 1000;
    };

    InstallRun(std::ostream& out, Options options) : m_out(out), m_options(std::move(options)) {}

    /// Carries out the plan; one of the exit statuses of RemovalProtocol.h.
    int run();

    /// The module identifier for a host folder: the same folder always gives the same module, so
    /// that installing again updates it in place.
    static std::string moduleIdFor(const std::string& printInstallPath);

private:
    void emit(const RemovalEvent& event);

    std::ostream& m_out;
    Options m_options;
};

}  // namespace scripthelper
