// The memory a read takes, counted byte for byte by this program's own allocation functions,
// against the bound the binary reader states: 16 bytes per byte of file plus a fixed base.

#include "platform/foundation/PropertyList.h"

#include "SharedReferenceFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

struct alignas(std::max_align_t) Header {
    std::size_t size;
};

void* counted(std::size_t size)
{
    auto* head = static_cast<Header*>(std::malloc(size + sizeof(Header)));
    if (!head)
        throw std::bad_alloc();
    head->size = size;
    const std::size_t live = g_live.fetch_add(size) + size;
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return head + 1;
}

void uncounted(void* block) noexcept
{
    if (!block)
        return;
    Header* head = static_cast<Header*>(block) - 1;
    g_live.fetch_sub(head->size);
    std::free(head);
}

}  // namespace

void* operator new(std::size_t size)
{
    return counted(size);
}

void* operator new[](std::size_t size)
{
    return counted(size);
}

void operator delete(void* block) noexcept
{
    uncounted(block);
}

void operator delete[](void* block) noexcept
{
    uncounted(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    uncounted(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    uncounted(block);
}

namespace {

using foundation_test::SharedObject;

struct Shape {
    const char* name;
    SharedObject object;
};

class SharedReferenceMemory : public ::testing::TestWithParam<Shape> {};

constexpr std::size_t kBytesPerFileByte = 16;
constexpr std::size_t kFixedBase = 64 * 1024;

TEST_P(SharedReferenceMemory, StaysWithinTheStatedBoundPerByte)
{
    const std::string file = foundation_test::sharedReferenceFile(1u << 20, GetParam().object);
    const std::size_t before = g_live.load();
    g_peak.store(before);
    std::optional<platform::PlistValue> value = platform::parsePropertyList(file);
    const std::size_t peak = g_peak.load() - before;
    ASSERT_TRUE(value);
    EXPECT_EQ(std::as_const(*value).asArray()->size(), 1u << 20);
    EXPECT_LE(peak, kBytesPerFileByte * file.size() + kFixedBase)
        << static_cast<double>(peak) / static_cast<double>(file.size()) << " bytes per byte of file";
}

INSTANTIATE_TEST_SUITE_P(PlistMemory, SharedReferenceMemory,
                         ::testing::Values(Shape{"EightByteData", SharedObject::EightByteData},
                                           Shape{"True", SharedObject::True},
                                           Shape{"ShortString", SharedObject::ShortString}),
                         [](const ::testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

TEST(PlistMemory, SelectedReadOfSharedDictionariesKeepsOneCopy)
{
    // An array of one-byte references to one dictionary, read with a selection that keeps a
    // part of each: the part is built once and shared.
    platform::PlistDictionary entry;
    entry.set("UUID", "U1");
    entry.set("UnInstallPath", "/Library/Alpha");
    entry.set("Other", "dropped");
    platform::PlistArray entries(100000, platform::PlistValue(entry));
    platform::PlistDictionary root;
    root.set("Modules", platform::PlistValue(std::move(entries)));
    const std::string file = platform::binaryPropertyList(platform::PlistValue(std::move(root)));
    using S = platform::PlistSelection;
    const S selection = S::none().key("Modules", S::none().anyOtherKey(S::none().key("UUID").key("UnInstallPath")));
    const std::size_t before = g_live.load();
    g_peak.store(before);
    auto value = platform::parsePropertyList(file, nullptr, nullptr, &selection);
    const std::size_t peak = g_peak.load() - before;
    ASSERT_TRUE(value);
    EXPECT_LE(peak, kBytesPerFileByte * file.size() + kFixedBase);
}

}  // namespace
