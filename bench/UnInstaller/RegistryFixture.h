#pragma once

#include "platform/foundation/PropertyList.h"

#include <string>

namespace bench {

/// The bytes of a module registry of the given size in the given form, shaped as installers
/// write it: "KEP2_KEY_MODULES" maps an identifier to "ModuleName", "InstallPath" and
/// "Version"; nine modules in ten carry the "vLX" mark and are listed. Identifiers are UUIDs and
/// numbers in names have six digits, so every module takes the same bytes up to 1,000,000 modules.
/// Install paths lie in the module folder under machineRoot, where the uninstaller may remove them.
std::string registryBytes(int modules, platform::PlistFormat format, const std::string& machineRoot = std::string());

/// How many rows the uninstaller lists for a registry of registryBytes(modules, ...).
int listedRows(int modules);

}  // namespace bench
