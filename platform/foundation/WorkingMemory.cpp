#include "platform/foundation/WorkingMemory.h"

#include <sys/mman.h>

namespace platform {

void* mapWorkingMemory(std::size_t bytes, bool populate)
{
    if (bytes == 0)
        return nullptr;
    void* at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED)
        return nullptr;
    // Both are advice: a kernel without huge pages or without MADV_POPULATE_WRITE (before 5.14)
    // refuses them, and the pages are then faulted in as they are first written.
    if (bytes >= kWorkingMemoryMapFrom)
        ::madvise(at, bytes, MADV_HUGEPAGE);
    if (populate)
        ::madvise(at, bytes, MADV_POPULATE_WRITE);
    return at;
}

void unmapWorkingMemory(void* at, std::size_t bytes)
{
    if (at)
        ::munmap(at, bytes);
}

}  // namespace platform
