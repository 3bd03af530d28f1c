#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

using OSErr = std::int16_t;
using OSType = std::uint32_t;

inline constexpr OSType gestaltSystemVersion = 0x73797376;  // 'sysv'
inline constexpr OSErr noErr = 0;
inline constexpr OSErr gestaltUndefSelectorErr = -5551;
/// A missing or invalid argument, such as a null response pointer.
inline constexpr OSErr paramErr = -50;

/// The packed version of the system this platform emulates (10.6.8).
inline constexpr std::int32_t kEmulatedSystemVersion = 0x1068;

/// Answers a selector; for 'sysv' the packed system version. Unknown selectors fail, and a null
/// response pointer gives paramErr. In builds with test seams PLATFORM_SYSTEM_VERSION=10.5.8 sets
/// the system version of a run, and a value that is no such version makes the query fail.
OSErr Gestalt(OSType selector, std::int32_t* response);

/// The packed form of a version "10.M" or "10.M.P" (10.6.8 is 0x1068; parts above 9 answer 9),
/// or none for anything else.
std::optional<std::int32_t> packedSystemVersion(const std::string& version);

/// Makes Gestalt answer the given function (for tests); empty restores the emulated system.
void setGestaltOverride(std::function<OSErr(OSType, std::int32_t*)> answer);

}  // namespace platform
