#pragma once

#include <optional>
#include <string>

namespace platform {

/// The value of the environment variable name, or none when it is unset or empty.
std::optional<std::string> testSeamFromEnvironment(const char* name);

/// Whether this build honours test seams at all.
constexpr bool testSeamsEnabled()
{
    return PLATFORM_TEST_SEAMS != 0;
}

/// The value of a test seam taken from the environment (PLATFORM_ROOT, PLATFORM_PKEXEC, ...), or none
/// when it is unset or empty. Builds made without test seams (the installed package) always answer none,
/// so an installed program takes nothing from the environment that changes what it reads, runs or removes;
/// inlined there, the seam's name is not even kept in the program.
inline std::optional<std::string> testSeam([[maybe_unused]] const char* name)
{
    if constexpr (testSeamsEnabled()) {
        return testSeamFromEnvironment(name);
    } else {
        return std::nullopt;
    }
}

}  // namespace platform
