#pragma once

#include <string>
#include <string_view>

namespace platform {

/// The user's home folder: the password database's entry for the user running the program, as
/// the platform has it, so that a HOME kept from another account (sudo -E, su -m) never decides
/// where files are written. In builds with test seams $HOME comes first, so that tests and demos
/// get homes of their own.
std::string NSHomeDirectory();

/// The home folder the program was handed in $HOME by whoever started it (the privileged
/// launcher names the caller's), else NSHomeDirectory(). For programs that act for a caller.
std::string callerHomeDirectory();

/// The user domain's Library folder, tilde expanded: home + "/Library".
std::string userLibraryDirectory();

/// The user's Preferences folder: home + "/Library/Preferences".
std::string preferencesDirectory();

/// The folder under which fixed machine-wide paths are resolved: $PLATFORM_ROOT in builds with test
/// seams, else the build's PLATFORM_SYSTEM_ROOT ("/" unless the build says otherwise).
std::string platformRoot();

/// A fixed absolute machine-wide path ("/Library/...") resolved under platformRoot().
std::string resolveSystemPath(std::string_view absolutePath);

}  // namespace platform
