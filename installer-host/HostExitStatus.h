#pragma once

namespace installerhost {

// The exit statuses of installer-host, in one place: the command line's --help, the manual page,
// the window run and the unattended run all mean these. The install step's failures follow the
// style of sysexits.h, as InstallHelper's own statuses do.

/// Every pane was left forward and every selected host application has the plug-in (or nothing
/// was selected).
inline constexpr int kExitDone = 0;
/// The user quit before anything was installed.
inline constexpr int kExitCancelled = 1;
/// A wrong command line, or a bundle that cannot be loaded.
inline constexpr int kExitUsage = 2;
/// A pane could not be left (unattended run).
inline constexpr int kExitStuck = 3;
/// The saved-answers file could not be read or written.
inline constexpr int kExitSavedAnswers = 4;
/// The plug-in was installed, but some host applications were skipped.
inline constexpr int kExitSomeSkipped = 5;
/// EX_DATAERR: the install plan is missing or cannot be used.
inline constexpr int kExitPlanUnusable = 65;
/// EX_UNAVAILABLE: no graphical display for the window; or no authorization service, no
/// authentication agent, or no InstallHelper or payload to install from.
inline constexpr int kExitUnavailable = 69;
/// EX_SOFTWARE: InstallHelper ended in an unexpected way.
inline constexpr int kExitSoftware = 70;
/// EX_CANTCREAT: the folder for the modules cannot be made.
inline constexpr int kExitCannotCreate = 73;
/// EX_IOERR: the module registry cannot be read or written.
inline constexpr int kExitRegistry = 74;
/// EX_TEMPFAIL: another install or removal is running.
inline constexpr int kExitBusy = 75;
/// EX_NOPERM: administrator rights were refused or the request was dismissed.
inline constexpr int kExitNotAuthorized = 77;
/// EX_CONFIG: the module-folders setting cannot be used.
inline constexpr int kExitSetting = 78;

}  // namespace installerhost
