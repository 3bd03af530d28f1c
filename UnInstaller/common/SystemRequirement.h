#pragma once

#include <cstdint>

/// The newest packed system version that Plugsweep refuses to run on (10.5.15).
inline constexpr std::int32_t kNewestRefusedSystemVersion = 0x105F;

/// Whether a packed system version (0x1060 for 10.6.0) is new enough to run on: 10.6 and later.
constexpr bool meetsSystemRequirement(std::int32_t packedVersion)
{
    return packedVersion > kNewestRefusedSystemVersion;
}
