// Counts in messages: the plural form and the digits each language expects.

#include "platform/foundation/Plural.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using platform::PluralCategory;

struct CountCase {
    const char* language;
    std::uint64_t n;
    PluralCategory category;
    const char* written;
};

class CountInLanguage : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountInLanguage, TakesTheLanguagesFormAndDigits)
{
    const CountCase& c = GetParam();
    EXPECT_EQ(platform::pluralCategory(c.language, c.n), c.category);
    EXPECT_EQ(platform::formatCount(c.language, c.n), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, CountInLanguage,
    ::testing::Values(CountCase{"en", 1, PluralCategory::One, "1"},
                      CountCase{"en", 0, PluralCategory::Other, "0"},
                      CountCase{"English", 100000, PluralCategory::Other, "100,000"},
                      CountCase{"German", 1, PluralCategory::One, "1"},
                      CountCase{"de-DE", 1234567, PluralCategory::Other, "1.234.567"},
                      CountCase{"French", 0, PluralCategory::One, "0"},
                      CountCase{"fr", 1, PluralCategory::One, "1"},
                      CountCase{"fr", 2, PluralCategory::Other, "2"},
                      CountCase{"fr", 100000, PluralCategory::Other, "100\u202f000"},
                      CountCase{"Italian", 1, PluralCategory::One, "1"},
                      CountCase{"it", 2500, PluralCategory::Other, "2.500"},
                      CountCase{"Spanish", 1, PluralCategory::One, "1"},
                      CountCase{"es", 2500, PluralCategory::Other, "2500"},
                      CountCase{"es", 25000, PluralCategory::Other, "25.000"},
                      CountCase{"Japanese", 1, PluralCategory::Other, "1"},
                      CountCase{"ja", 100000, PluralCategory::Other, "100,000"},
                      CountCase{"ko", 1, PluralCategory::Other, "1"},
                      CountCase{"zh_CN", 1, PluralCategory::Other, "1"},
                      CountCase{"zh-Hans", 12345, PluralCategory::Other, "12,345"},
                      CountCase{"xx", 1, PluralCategory::One, "1"}),
    [](const ::testing::TestParamInfo<CountCase>& info) {
        std::string name;
        for (const char* p = info.param.language; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name + "_" + std::to_string(info.param.n);
    });

TEST(CountedText, PicksTheFormAndFallsBackToOther)
{
    const std::map<std::string, std::string> table{{"GONE_ONE", "%@ Modul wurde entfernt."},
                                                    {"GONE_OTHER", "%@ Module wurden entfernt."},
                                                    {"LEFT_OTHER", "%@ left, %@ in all"}};
    const auto lookup = [&](const std::string& key) {
        const auto it = table.find(key);
        return it == table.end() ? key : it->second;
    };
    EXPECT_EQ(platform::countedText("de", "GONE", 1, lookup), "1 Modul wurde entfernt.");
    EXPECT_EQ(platform::countedText("de", "GONE", 2000, lookup), "2.000 Module wurden entfernt.");
    EXPECT_EQ(platform::countedText("de", "LEFT", 1, lookup), "1 left, 1 in all");
}

}  // namespace
