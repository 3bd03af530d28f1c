#pragma once

#include <optional>
#include <string>

namespace platform {

/// The value of a test seam taken from the environment (PLATFORM_ROOT, PLATFORM_PKEXEC, ...), or none
/// when it is unset or empty. Builds made without test seams (the installed package) always answer none,
/// so an installed program takes nothing from the environment that changes what it reads, runs or removes.
std::optional<std::string> testSeam(const char* name);

/// Whether this build honours test seams at all.
bool testSeamsEnabled();

}  // namespace platform
