// The memory a read takes, counted byte for byte by this program's own allocation functions,
// against the bound the binary reader states: 16 bytes per byte of file plus a fixed base.

#include "platform/foundation/KeyHash.h"
#include "platform/foundation/PropertyList.h"

#include "SharedReferenceFiles.h"
#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>
#include <vector>

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

void PrintTo(const Shape& shape, std::ostream* out)
{
    *out << shape.name;
}

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

// The shapes make-worst-shapes.py writes, each the most a kind of file can cost per byte: objects
// referred to twice whose offsets all name one small object, honest objects referred to twice,
// a shared dictionary of arrays of shared strings, deep sharing, and XML's densest containers.
struct WorstShape {
    const char* name;
    const char* file;
    // Whether the file must be read. A file of aliases is read where the platform's values are
    // small enough to stay within the bound (32-bit machines), and refused before anything is
    // built where they are not.
    bool mustRead;
    // The key of the root dictionary that holds the shape, when the file wraps it as a plan or a
    // registry; such a file is also read with a selection of that key.
    const char* rootKey;
};

void PrintTo(const WorstShape& shape, std::ostream* out)
{
    *out << shape.name;
}

class WorstShapeMemory : public ::testing::TestWithParam<WorstShape> {
protected:
    static void SetUpTestSuite()
    {
        s_folder = new foundation_test::TempFolder();
        const std::string command = std::string("'") + PYTHON3 + "' '" + SHARED_DIR
                                    + "/hostile-inputs-4/make-worst-shapes.py' '" + s_folder->path() + "' 2 >/dev/null";
        s_generated = std::system(command.c_str()) == 0;
    }
    static void TearDownTestSuite()
    {
        delete s_folder;
        s_folder = nullptr;
    }

    static foundation_test::TempFolder* s_folder;
    static bool s_generated;
};

foundation_test::TempFolder* WorstShapeMemory::s_folder = nullptr;
bool WorstShapeMemory::s_generated = false;

// What the survey of a refused file may take before it refuses: its notes of each object, never
// the values.
constexpr std::size_t kRefusalBytesPerFileByte = 5;

TEST_P(WorstShapeMemory, StaysWithinTheStatedBoundPerByteOrIsRefusedBeforeBuilding)
{
    ASSERT_TRUE(s_generated) << "make-worst-shapes.py failed";
    const WorstShape& shape = GetParam();
    const std::string file = foundation_test::readAll(*s_folder / shape.file);
    ASSERT_GT(file.size(), 1000u);
    using S = platform::PlistSelection;
    const S whole;
    const S selected = S::none().onlyDictionaries().key(shape.rootKey ? shape.rootKey : "", S::none().anyOtherKey(S()));
    for (const S* selection : {&whole, &selected}) {
        if (selection == &selected && !shape.rootKey)
            continue;
        SCOPED_TRACE(selection == &whole ? "read whole" : "read with a selection");
        const std::size_t before = g_live.load();
        g_peak.store(before);
        platform::PlistReadFailure failure = platform::PlistReadFailure::None;
        const bool read = platform::parsePropertyList(file, nullptr, &failure, selection).has_value();
        const std::size_t peak = g_peak.load() - before;
        const double perByte = static_cast<double>(peak) / static_cast<double>(file.size());
        RecordProperty(selection == &whole ? "bytesPerFileByte" : "bytesPerFileByteSelected", std::to_string(perByte));
        if (shape.mustRead) {
            EXPECT_TRUE(read) << platform::describePlistReadFailure(failure);
        }
        EXPECT_LE(peak, kBytesPerFileByte * file.size() + kFixedBase) << perByte << " bytes per byte of file";
        if (!read) {
            EXPECT_EQ(failure, platform::PlistReadFailure::TooExpansive);
            EXPECT_LE(peak, kRefusalBytesPerFileByte * file.size() + kFixedBase) << perByte << " bytes per byte of file";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    PlistMemory, WorstShapeMemory,
    ::testing::Values(
        WorstShape{"AliasesOfAnEmptyArrayTwoByteReferences", "twice-dupoff-empty-r2.bplist", false, nullptr},
        WorstShape{"AliasesOfANestedArrayTwoByteReferences", "twice-dupoff-nest-r2.bplist", false, nullptr},
        WorstShape{"AliasesOfAnEmptyArrayThreeByteReferences", "twice-dupoff-empty-r3.bplist", false, nullptr},
        WorstShape{"AliasesOfANestedArrayThreeByteReferences", "twice-dupoff-nest-r3.bplist", false, nullptr},
        WorstShape{"PlanOfAliases", "plan-twice-dupoff-nest-r3.bplist", false, "UnInstallApps"},
        WorstShape{"RegistryOfAliases", "registry-twice-dupoff-nest-r3.bplist", false, "KEP2_KEY_MODULES"},
        WorstShape{"DistinctEmptyArraysReferencedTwice", "twice-distinct-empty-r3.bplist", true, nullptr},
        WorstShape{"SharedDictionaryOfArraysOfSharedStrings", "shared-dict-arrays-strings.bplist", true, nullptr},
        WorstShape{"DeepSharing", "deep-sharing.bplist", true, nullptr},
        WorstShape{"XmlEmptyDictionaries", "xml-empty-dicts.xml", true, nullptr}),
    [](const ::testing::TestParamInfo<WorstShape>& info) { return std::string(info.param.name); });

// A dictionary taken from entries as a reader gathers them: what it takes, counted, stays within
// what a reader charges for it before it reads the entries.
struct TakenDictionary {
    const char* name;
    std::size_t entries;
    // Entries per distinct key: 1 when every key is its own.
    std::size_t repeats;
};

void PrintTo(const TakenDictionary& taken, std::ostream* out)
{
    *out << taken.name;
}

class TakenDictionaryMemory : public ::testing::TestWithParam<TakenDictionary> {};

TEST_P(TakenDictionaryMemory, StaysWithinWhatAReaderCharges)
{
    const TakenDictionary& taken = GetParam();
    // The keys are read before: a reader charges them as objects of their own.
    std::vector<platform::PlistValue> keys;
    for (std::size_t i = 0; i < taken.entries; ++i)
        keys.emplace_back("key " + std::to_string(i / taken.repeats) + std::string(20, 'k'));
    const std::size_t before = g_live.load();
    g_peak.store(before);
    std::vector<platform::PlistDictionary::Entry> entries;
    std::vector<std::size_t> hashes;
    entries.reserve(taken.entries);
    if (taken.entries > platform::PlistDictionary::kIndexedSize)
        hashes.reserve(taken.entries);
    for (std::size_t i = 0; i < taken.entries; ++i) {
        entries.push_back(platform::PlistDictionary::Entry{keys[i], platform::PlistValue(true)});
        if (hashes.capacity() != 0)
            hashes.push_back(platform::keyHash(*keys[i].asString()));
    }
    const platform::PlistDictionary dict = platform::PlistDictionary::takeEntries(entries, &hashes);
    const std::size_t peak = g_peak.load() - before;
    EXPECT_EQ(dict.size(), (taken.entries + taken.repeats - 1) / taken.repeats);
    EXPECT_LE(peak, platform::PlistDictionary::bytesToHold(taken.entries) + platform::PlistDictionary::bytesToBuild(taken.entries));
    const std::size_t held = g_live.load() - before;
    EXPECT_LE(held, platform::PlistDictionary::bytesToHold(taken.entries));
    if (taken.entries > 0) {
        EXPECT_TRUE(dict.contains(*keys.back().asString()));
    }
}

INSTANTIATE_TEST_SUITE_P(PlistMemory, TakenDictionaryMemory,
                         ::testing::Values(TakenDictionary{"Empty", 0, 1}, TakenDictionary{"One", 1, 1},
                                           TakenDictionary{"LargestSearchedInOrder", platform::PlistDictionary::kIndexedSize, 1},
                                           TakenDictionary{"SmallestIndexed", platform::PlistDictionary::kIndexedSize + 1, 1},
                                           TakenDictionary{"ThousandsOfKeys", 5000, 1},
                                           TakenDictionary{"EveryKeyTwice", 5000, 2},
                                           TakenDictionary{"OneKeyThroughout", 5000, 5000}),
                         [](const ::testing::TestParamInfo<TakenDictionary>& info) { return std::string(info.param.name); });

}  // namespace
