// Both writers refuse a value for one reason, the same in both forms, and say it: the reason
// comes back from the writer, and a write to a file gives the same one and leaves the file.

#include "platform/foundation/PropertyList.h"

#include "platform/foundation/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

using namespace platform;
using foundation_test::readAll;
using foundation_test::TempFolder;

namespace {

PlistValue nested(std::size_t levels, PlistValue innermost, bool dictionaries = false)
{
    PlistValue level = std::move(innermost);
    for (std::size_t i = 0; i < levels; ++i) {
        if (dictionaries) {
            PlistDictionary holder;
            holder.set("inner", std::move(level));
            level = PlistValue(std::move(holder));
        } else {
            level = PlistValue(PlistArray{std::move(level)});
        }
    }
    return level;
}

// levels of arrays each holding the next twice: 2^levels leaves as a tree, levels blocks shared.
PlistValue doubling(std::size_t levels, PlistValue leaf)
{
    PlistValue level = std::move(leaf);
    for (std::size_t i = 0; i < levels; ++i)
        level = PlistValue(PlistArray{level, level});
    return level;
}

PlistValue withKey(std::string key)
{
    PlistDictionary dict;
    dict.set(std::move(key), 1);
    return PlistValue(std::move(dict));
}

struct Refusal {
    const char* name;
    PlistValue (*make)();
    PlistWriteFailure xml;
    PlistWriteFailure binary;
};

void PrintTo(const Refusal& refusal, std::ostream* out)
{
    *out << refusal.name;
}

constexpr std::size_t kPastTheSizeLimit = kMaxPropertyListBytes + 1;

const Refusal kRefusals[] = {
    {"FitsBothForms",
     [] { return nested(3, PlistValue(PlistArray{PlistValue("text"), PlistValue(PlistDate{86400}), PlistValue(2.5)})); },
     PlistWriteFailure::None, PlistWriteFailure::None},
    // An empty container counts as a level, as the readers count it.
    {"NestedToTheDepthLimit", [] { return nested(kMaxPropertyListDepth - 1, PlistValue(PlistArray{})); },
     PlistWriteFailure::None, PlistWriteFailure::None},
    {"NestedOnePastTheDepthLimit", [] { return nested(kMaxPropertyListDepth, PlistValue(PlistArray{})); },
     PlistWriteFailure::TooDeep, PlistWriteFailure::TooDeep},
    {"DictionariesNestedOnePastTheDepthLimit",
     [] { return nested(kMaxPropertyListDepth, PlistValue(PlistDictionary{}), true); }, PlistWriteFailure::TooDeep,
     PlistWriteFailure::TooDeep},
    {"SharedLevelsPastTheDepthLimit", [] { return doubling(300, PlistValue("leaf")); }, PlistWriteFailure::TooDeep,
     PlistWriteFailure::TooDeep},
    {"TooDeepAndNotRepresentable",
     [] { return nested(kMaxPropertyListDepth + 1, PlistValue(std::string("a\0b", 3))); }, PlistWriteFailure::TooDeep,
     PlistWriteFailure::TooDeep},
    // The XML form writes a shared value wherever it occurs; the binary form writes it once.
    {"SharedLevelsRepeatingPastTheSizeLimit", [] { return doubling(40, PlistValue("leaf")); },
     PlistWriteFailure::TooLarge, PlistWriteFailure::None},
    {"TextPastTheSizeLimit", [] { return PlistValue(std::string(kPastTheSizeLimit, 'x')); },
     PlistWriteFailure::TooLarge, PlistWriteFailure::TooLarge},
    {"DataPastTheSizeLimit", [] { return PlistValue(PlistData{std::vector<std::uint8_t>(kPastTheSizeLimit, 7)}); },
     PlistWriteFailure::TooLarge, PlistWriteFailure::TooLarge},
    {"TextWithANul", [] { return PlistValue(PlistArray{PlistValue(std::string("a\0b", 3))}); },
     PlistWriteFailure::NotRepresentable, PlistWriteFailure::None},
    {"KeyWithAControlCharacter", [] { return withKey("key\x01"); }, PlistWriteFailure::NotRepresentable,
     PlistWriteFailure::None},
    // No reader takes a date that is not a point in time; only XML's text cannot say a date this far.
    {"DateThatIsNotFinite", [] { return PlistValue(PlistDate{std::nan("")}); }, PlistWriteFailure::NotRepresentable,
     PlistWriteFailure::NotRepresentable},
    {"DateTooFarForXmlText", [] { return PlistValue(PlistArray{PlistValue(PlistDate{1e19})}); },
     PlistWriteFailure::NotRepresentable, PlistWriteFailure::None},
};

}  // namespace

namespace platform {

void PrintTo(PlistFormat format, std::ostream* out)
{
    *out << (format == PlistFormat::Xml ? "XML" : "binary");
}

}  // namespace platform

namespace {

class WriteRefusal : public ::testing::TestWithParam<std::tuple<Refusal, PlistFormat>> {};

}  // namespace

TEST_P(WriteRefusal, GivesOneReasonAndLeavesTheFile)
{
    const auto& [refusal, format] = GetParam();
    const PlistWriteFailure expected = format == PlistFormat::Xml ? refusal.xml : refusal.binary;
    const PlistValue value = refusal.make();
    PlistWriteFailure failure = PlistWriteFailure::Unwritable;
    const std::string bytes = format == PlistFormat::Xml ? xmlPropertyList(value, &failure)
                                                         : binaryPropertyList(value, &failure);
    EXPECT_EQ(failure, expected) << describePlistWriteFailure(failure);
    EXPECT_EQ(bytes.empty(), expected != PlistWriteFailure::None);
    if (expected == PlistWriteFailure::None) {
        PlistFormat read = format == PlistFormat::Xml ? PlistFormat::Binary : PlistFormat::Xml;
        const auto back = parsePropertyList(bytes, &read);
        ASSERT_TRUE(back);
        EXPECT_EQ(read, format);
        EXPECT_EQ(*back, value);
    }

    TempFolder temp;
    const std::string path = temp.write("value.plist", "earlier");
    failure = PlistWriteFailure::Unwritable;
    EXPECT_EQ(writePropertyListAtomically(value, path, format, &failure), expected == PlistWriteFailure::None);
    EXPECT_EQ(failure, expected);
    if (expected != PlistWriteFailure::None) {
        EXPECT_EQ(readAll(path), "earlier");
    } else {
        EXPECT_EQ(readAll(path), bytes);
    }
    if (format == PlistFormat::Xml) {
        EXPECT_EQ(writeToFile(value, path, false), expected == PlistWriteFailure::None);
    }
}

INSTANTIATE_TEST_SUITE_P(PlistWrite, WriteRefusal,
                         ::testing::Combine(::testing::ValuesIn(kRefusals),
                                            ::testing::Values(PlistFormat::Xml, PlistFormat::Binary)),
                         [](const ::testing::TestParamInfo<std::tuple<Refusal, PlistFormat>>& info) {
                             return std::string(std::get<0>(info.param).name)
                                    + (std::get<1>(info.param) == PlistFormat::Xml ? "_Xml" : "_Binary");
                         });

TEST(PlistWrite, EveryReasonIsSaidInItsOwnWords)
{
    const PlistWriteFailure reasons[] = {PlistWriteFailure::None,     PlistWriteFailure::NotRepresentable,
                                         PlistWriteFailure::TooLarge, PlistWriteFailure::TooDeep,
                                         PlistWriteFailure::NotReadable, PlistWriteFailure::Unwritable};
    std::set<std::string_view> said;
    for (const PlistWriteFailure reason : reasons)
        said.insert(describePlistWriteFailure(reason));
    EXPECT_EQ(said.size(), std::size(reasons));
    // A depth refused on writing is said as the reader says it.
    EXPECT_EQ(describePlistWriteFailure(PlistWriteFailure::TooDeep), describePlistReadFailure(PlistReadFailure::TooDeep));
}
