#pragma once

#include <cstddef>

namespace platform {

/// Memory for the bytes of a whole file while it is parsed: mapped anonymously and zeroed, in
/// huge pages where the system grants them on request, so a file of tens of MiB costs a few
/// page faults rather than thousands. With populate, its pages are made in one call. Null when
/// the memory cannot be had.
void* mapWorkingMemory(std::size_t bytes, bool populate);
void unmapWorkingMemory(void* at, std::size_t bytes);

/// Blocks this large or larger are worth mapping with mapWorkingMemory rather than allocating.
constexpr std::size_t kWorkingMemoryMapFrom = std::size_t(2) << 20;

}  // namespace platform
