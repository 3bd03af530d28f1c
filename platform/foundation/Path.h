#pragma once

#include <string>
#include <string_view>

namespace platform {

/// Joins base and component with exactly one "/".
std::string stringByAppendingPathComponent(std::string_view base, std::string_view component);

/// Drops a trailing "/", then the last component and the "/" before it; "/" stays "/",
/// a single component without "/" becomes "".
std::string stringByDeletingLastPathComponent(std::string_view path);

/// The last component, ignoring a trailing "/"; "/" for the root.
std::string lastPathComponent(std::string_view path);

}  // namespace platform
