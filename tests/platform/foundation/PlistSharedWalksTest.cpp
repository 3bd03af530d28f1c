// Everything that walks a whole tree does so block by block, not path by path: a tree of a few
// hundred shared blocks that holds 2^250 values as a tree compares, copies, writes and is cut
// down by a selection at once.

#include "platform/foundation/PlistEncoding.h"
#include "platform/foundation/PropertyList.h"

#include "fuzz/FuzzSupport.h"
#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

using namespace platform;
using foundation_test::readAll;
using foundation_test::TempFolder;

namespace {

// A0 = [A1, A1], A1 = [A2, A2], ... A250 = [].
const std::string kDeepSharing = std::string(SHARED_DIR) + "/hostile-inputs-4/M7-deep-sharing-250-levels.bplist";
constexpr std::size_t kLevels = 251;

struct Walk {
    const char* name;
    // Checks one walk over the tree read from the file, whose bytes are given too.
    std::function<void(const PlistValue& tree, const std::string& bytes)> check;
};

void PrintTo(const Walk& walk, std::ostream* out)
{
    *out << walk.name;
}

// How many arrays lie on the path through the first element of each.
std::size_t levelsOf(const PlistValue& tree)
{
    std::size_t levels = 0;
    for (const PlistValue* at = &tree; at && at->asArray(); ++levels)
        at = at->asArray()->empty() ? nullptr : &at->asArray()->front();
    return levels;
}

// The last array on the path through the last element of each.
const PlistArray& deepestAlongTheLast(const PlistValue& tree)
{
    const PlistArray* array = tree.asArray();
    while (!array->empty() && array->back().asArray())
        array = array->back().asArray();
    return *array;
}

const Walk kWalks[] = {
    {"EqualityWithASecondRead",
     [](const PlistValue& tree, const std::string& bytes) {
         const auto again = parsePropertyList(bytes);
         ASSERT_TRUE(again);
         EXPECT_FALSE(again->sharesWith(tree));
         EXPECT_TRUE(*again == tree);
         EXPECT_FALSE(*again != tree);
     }},
    {"CopyChangedAtItsDeepestLevel",
     [](const PlistValue& tree, const std::string& bytes) {
         // Changing a copy takes a block of its own at each level on the way down, and no more.
         PlistValue copy = tree;
         PlistValue* at = &copy;
         for (std::size_t level = 1; level < kLevels; ++level)
             at = &at->asArray()->back();
         ASSERT_TRUE(at->asArray());
         at->asArray()->push_back(PlistValue("changed"));
         EXPECT_NE(copy, tree);
         EXPECT_EQ(deepestAlongTheLast(copy), PlistArray{PlistValue("changed")});
         EXPECT_TRUE(deepestAlongTheLast(tree).empty());
         EXPECT_EQ(levelsOf(copy), kLevels);
         EXPECT_EQ(tree, *parsePropertyList(bytes));
     }},
    {"MeasuredForNesting",
     [](const PlistValue& tree, const std::string&) {
         EXPECT_TRUE(plist::nestsWithin(tree, kLevels));
         EXPECT_FALSE(plist::nestsWithin(tree, kLevels - 1));
     }},
    {"BinaryFormSharesWhatTheTreeShares",
     [](const PlistValue& tree, const std::string& bytes) {
         PlistWriteFailure failure = PlistWriteFailure::NotReadable;
         const std::string written = binaryPropertyList(tree, &failure);
         EXPECT_EQ(failure, PlistWriteFailure::None);
         EXPECT_LE(written.size(), 2 * bytes.size());
         const auto back = parsePropertyList(written);
         ASSERT_TRUE(back);
         EXPECT_EQ(*back, tree);
     }},
    {"XmlFormRefusedAsTooLargeBeforeWriting",
     [](const PlistValue& tree, const std::string&) {
         PlistWriteFailure failure = PlistWriteFailure::None;
         EXPECT_EQ(xmlPropertyList(tree, &failure), "");
         EXPECT_EQ(failure, PlistWriteFailure::TooLarge);
         TempFolder temp;
         const std::string path = temp.write("tree.plist", "earlier");
         EXPECT_FALSE(writeToFile(tree, path, true));
         EXPECT_FALSE(writePropertyListAtomically(tree, path, PlistFormat::Xml, &failure));
         EXPECT_EQ(failure, PlistWriteFailure::TooLarge);
         EXPECT_EQ(readAll(path), "earlier");
         EXPECT_TRUE(writePropertyListAtomically(tree, path, PlistFormat::Binary, &failure));
         EXPECT_EQ(readPropertyListFile(path), tree);
     }},
    {"FuzzChecksCompareAndCutDown",
     [](const PlistValue& tree, const std::string& bytes) {
         const auto again = parsePropertyList(bytes);
         ASSERT_TRUE(again);
         EXPECT_TRUE(fuzz::sameValue(*again, tree));
         EXPECT_TRUE(fuzz::sameValue(*again, tree, true));
         // A test that keeps every element, and one that drops empty arrays: the last level
         // goes, then each level above it in turn.
         const PlistSelection all = PlistSelection().keepIf([](const PlistValue&) { return true; });
         const PlistSelection filled = PlistSelection().keepIf([](const PlistValue& value) {
             return !value.asArray() || !value.asArray()->empty();
         });
         for (const PlistSelection* selection : {&all, &filled}) {
             const PlistValue cut = fuzz::cutDown(tree, *selection);
             const auto selected = parsePropertyList(bytes, nullptr, nullptr, selection);
             ASSERT_TRUE(selected);
             EXPECT_EQ(*selected, cut);
             EXPECT_TRUE(fuzz::sameValue(*selected, cut));
         }
         EXPECT_EQ(fuzz::cutDown(tree, all), tree);
         EXPECT_EQ(fuzz::cutDown(tree, filled), PlistValue(PlistArray{}));
     }},
};

class DeepSharing : public ::testing::TestWithParam<Walk> {};

}  // namespace

TEST_P(DeepSharing, WalkFinishesPerSharedBlock)
{
    const std::string bytes = readAll(kDeepSharing);
    ASSERT_FALSE(bytes.empty());
    const auto tree = parsePropertyList(bytes);
    ASSERT_TRUE(tree);
    ASSERT_EQ(levelsOf(*tree), kLevels);
    GetParam().check(*tree, bytes);
}

INSTANTIATE_TEST_SUITE_P(PlistSharedWalks, DeepSharing, ::testing::ValuesIn(kWalks),
                         [](const ::testing::TestParamInfo<Walk>& info) { return std::string(info.param.name); });

namespace {

// levels of containers, each holding the next twice, over leaf: built in memory, never read.
PlistValue doubling(std::size_t levels, const PlistValue& leaf, bool dictionaries)
{
    PlistValue level = leaf;
    for (std::size_t i = 0; i < levels; ++i) {
        if (dictionaries) {
            PlistDictionary both;
            both.set("left", level);
            both.set("right", level);
            level = PlistValue(std::move(both));
        } else {
            level = PlistValue(PlistArray{level, level});
        }
    }
    return level;
}

struct Comparison {
    const char* name;
    bool dictionaries;
    PlistValue leftLeaf;
    PlistValue rightLeaf;
    bool equal;
};

void PrintTo(const Comparison& comparison, std::ostream* out)
{
    *out << comparison.name;
}

class SharedTreeEquality : public ::testing::TestWithParam<Comparison> {};

}  // namespace

TEST_P(SharedTreeEquality, ComparesEachPairOfBlocksOnce)
{
    // Deeper than any file may nest: a tree built in memory is compared all the same.
    const Comparison& c = GetParam();
    const PlistValue left = doubling(400, c.leftLeaf, c.dictionaries);
    const PlistValue right = doubling(400, c.rightLeaf, c.dictionaries);
    EXPECT_EQ(left == right, c.equal);
    EXPECT_EQ(right == left, c.equal);
    EXPECT_EQ(fuzz::sameValue(left, right), c.equal);
    EXPECT_TRUE(left == left);
    if (c.dictionaries) {
        EXPECT_EQ(*left.asDictionary() == *right.asDictionary(), c.equal);
    }
}

INSTANTIATE_TEST_SUITE_P(
    PlistSharedWalks, SharedTreeEquality,
    ::testing::Values(Comparison{"ArraysOverEqualLeaves", false, PlistValue("leaf"), PlistValue("leaf"), true},
                      Comparison{"ArraysOverOtherLeaves", false, PlistValue("leaf"), PlistValue("leaf!"), false},
                      Comparison{"ArraysOverLeavesOfOtherTypes", false, PlistValue(1), PlistValue(true), false},
                      Comparison{"DictionariesOverEqualLeaves", true, PlistValue(PlistData{{1, 2}}),
                                 PlistValue(PlistData{{1, 2}}), true},
                      Comparison{"DictionariesOverOtherLeaves", true, PlistValue(2.5), PlistValue(3.5), false}),
    [](const ::testing::TestParamInfo<Comparison>& info) { return std::string(info.param.name); });
