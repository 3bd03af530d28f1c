#include "platform/appkit/ObjectValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace platform {
namespace {

struct IntValueCase {
    const char* label;
    ObjectValue value;
    NSInteger expected;
};

class IntValueTest : public ::testing::TestWithParam<IntValueCase> {};

TEST_P(IntValueTest, GivesTheCellsIntegerValue)
{
    EXPECT_EQ(intValue(GetParam().value), GetParam().expected) << GetParam().label;
}

constexpr NSInteger kMax = std::numeric_limits<NSInteger>::max();
constexpr NSInteger kMin = std::numeric_limits<NSInteger>::min();

INSTANTIATE_TEST_SUITE_P(
    Values, IntValueTest,
    ::testing::Values(IntValueCase{"none", std::nullopt, 0},
                      IntValueCase{"zero", PlistValue(0), 0},
                      IntValueCase{"one", PlistValue(1), 1},
                      IntValueCase{"minus one", PlistValue(-1), -1},
                      IntValueCase{"two", PlistValue(2), 2},
                      IntValueCase{"real truncated", PlistValue(2.9), 2},
                      IntValueCase{"negative real truncated", PlistValue(-2.9), -2},
                      IntValueCase{"nan", PlistValue(std::nan("")), 0},
                      IntValueCase{"huge real", PlistValue(1e300), kMax},
                      IntValueCase{"huge negative real", PlistValue(-1e300), kMin},
                      IntValueCase{"true", PlistValue(true), 1},
                      IntValueCase{"false", PlistValue(false), 0},
                      IntValueCase{"digits", PlistValue("42"), 42},
                      IntValueCase{"leading digits", PlistValue("  -17abc"), -17},
                      IntValueCase{"plus sign", PlistValue("+5"), 5},
                      IntValueCase{"no digits", PlistValue("CHK_ON"), 0},
                      IntValueCase{"empty string", PlistValue(""), 0},
                      IntValueCase{"overlong digits", PlistValue("99999999999999999999999"), kMax},
                      IntValueCase{"overlong negative", PlistValue("-99999999999999999999999"), kMin},
                      IntValueCase{"array", PlistValue(PlistArray{PlistValue(1)}), 0},
                      IntValueCase{"dictionary", PlistValue(PlistDictionary()), 0}));

TEST(IntValue, LargeIntegerSaturatesToTheWordSize)
{
    const std::int64_t big = std::int64_t(1) << 40;
    const NSInteger expected = sizeof(NSInteger) >= 8 ? static_cast<NSInteger>(big) : kMax;
    EXPECT_EQ(intValue(PlistValue(big)), expected);
    EXPECT_EQ(intValue(PlistValue(std::numeric_limits<std::int64_t>::min())),
              sizeof(NSInteger) >= 8 ? static_cast<NSInteger>(std::numeric_limits<std::int64_t>::min()) : kMin);
}

}  // namespace
}  // namespace platform
