#pragma once

#include <cstdint>
#include <functional>
#include <optional>

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
/// response pointer gives paramErr.
OSErr Gestalt(OSType selector, std::int32_t* response);

/// Makes Gestalt answer the given function (for tests); empty restores the emulated system.
void setGestaltOverride(std::function<OSErr(OSType, std::int32_t*)> answer);

}  // namespace platform
