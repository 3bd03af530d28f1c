#include "platform/foundation/Number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

using namespace platform;

namespace {

struct NumberCase {
    const char* text;
    double value;
};

const NumberCase kCases[] = {
    {"3.10", 3.1},     {" 4", 4},          {"+2", 2},        {"1e3", 1000},     {"2.0.1", 2.0},
    {"abc", 0},        {"", 0},            {"inf", 0},       {"nan", 0},        {"-1.5", -1.5},
    {".5", 0.5},       {"5.", 5},          {"\t\n 7x", 7},   {"1e", 1},         {"1e+", 1},
    {"2E-2", 0.02},    {"-", 0},           {".", 0},         {"0x10", 0},       {"10.4.3", 10.4},
    {"1,5", 1},        {"  -0.25e1 ", -2.5},
};

}  // namespace

TEST(DecimalNumber, TakesTheLongestLeadingDecimalNumber)
{
    for (const NumberCase& c : kCases)
        EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(c.text), c.value) << "\"" << c.text << "\"";
}

TEST(DecimalNumber, OutOfRangeValuesSaturate)
{
    EXPECT_TRUE(std::isinf(CFStringGetDoubleValue("1e400")));
    EXPECT_GT(CFStringGetDoubleValue("1e400"), 0);
    EXPECT_LT(CFStringGetDoubleValue("-1e400"), 0);
    EXPECT_EQ(CFStringGetDoubleValue("1e-400"), 0);
    EXPECT_EQ(CFStringGetDoubleValue("0." + std::string(400, '0') + "1"), 0);
}

TEST(DecimalNumber, IgnoresTheProcessLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    const double value = CFStringGetDoubleValue("3.2");
    const double comma = CFStringGetDoubleValue("3,2");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_DOUBLE_EQ(value, 3.2);
    EXPECT_DOUBLE_EQ(comma, 3);
}
