#include "platform/foundation/WorkingMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace platform;

TEST(WorkingMemory, MapsZeroedWritableMemoryOfEverySize)
{
    EXPECT_EQ(mapWorkingMemory(0, false), nullptr);
    EXPECT_EQ(mapWorkingMemory(0, true), nullptr);
    // Sizes on both sides of a page and of the size from which huge pages are asked for.
    const std::size_t sizes[] = {1, 4095, 4097, kWorkingMemoryMapFrom - 1, kWorkingMemoryMapFrom,
                                 3 * kWorkingMemoryMapFrom + 5};
    for (const std::size_t size : sizes) {
        for (const bool populate : {false, true}) {
            SCOPED_TRACE(::testing::Message() << size << (populate ? " populated" : ""));
            auto* at = static_cast<unsigned char*>(mapWorkingMemory(size, populate));
            ASSERT_NE(at, nullptr);
            EXPECT_TRUE(std::all_of(at, at + size, [](unsigned char byte) { return byte == 0; }));
            std::memset(at, 0xA5, size);  // writable to its last byte, or this faults
            unmapWorkingMemory(at, size);
        }
    }
    unmapWorkingMemory(nullptr, 0);  // nothing to release
}
