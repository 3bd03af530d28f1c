#pragma once

#include <string>
#include <string_view>

namespace platform {

/// The user's home folder: $HOME, else the password database's entry.
std::string NSHomeDirectory();

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
