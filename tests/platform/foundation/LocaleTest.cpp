#include "platform/foundation/Locale.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform;

namespace {

// Sets the locale variables for one test and restores them afterwards.
class LocaleEnvironment : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        setPreferredLanguagesOverride(std::nullopt);
    }
    void TearDown() override
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        setPreferredLanguagesOverride(std::nullopt);
    }

    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace

TEST(LanguageTag, FromPosixLocaleNames)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"de_DE.UTF-8", "de-DE"},   {"de", "de"},           {"zh_CN", "zh-Hans"},
        {"zh_CN.GB2312", "zh-Hans"}, {"zh_TW.UTF-8", "zh-Hant"}, {"zh_HK", "zh-Hant-HK"},
        {"ja_JP.eucJP", "ja-JP"},   {"pt_BR", "pt-BR"},     {"en_US@euro", "en-US"},
        {"sr_RS@latin", "sr-Latn-RS"}, {"es_419", "es-419"}, {"zh-Hans", "zh-Hans"},
        {"C", std::nullopt},        {"C.UTF-8", std::nullopt}, {"POSIX", std::nullopt},
        {"", std::nullopt},         {"../etc", std::nullopt}, {"x", std::nullopt},
    };
    for (const auto& [locale, tag] : cases)
        EXPECT_EQ(languageTagFromPosixLocale(locale), tag) << locale;
}

TEST(LanguageTag, LegacyLocalizationNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"English", "en"}, {"German", "de"}, {"French", "fr"}, {"Spanish", "es"}, {"Italian", "it"},
        {"Japanese", "ja"}, {"Dutch", "nl"}, {"zh_CN", "zh-Hans"}, {"zh_TW", "zh-Hant"}, {"ko", "ko"},
        {"pt_BR", "pt-BR"}, {"de", "de"}, {"Base", "Base"},
    };
    for (const auto& [name, code] : cases)
        EXPECT_EQ(canonicalLocalizationName(name), code) << name;
}

TEST_F(LocaleEnvironment, LanguageListComesFirstThenTheFirstSetLocaleVariable)
{
    ::setenv("LANGUAGE", "fr:de", 1);
    ::setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
    ::setenv("LANG", "it_IT.UTF-8", 1);
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"fr", "de", "ja-JP"}));
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"fr", "de", "de-DE"}));
    ::setenv("LANGUAGE", "fr::fr:C", 1);
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"fr", "de-DE"}));
}

TEST_F(LocaleEnvironment, CAndUnsetMeanNoLanguage)
{
    EXPECT_TRUE(preferredLanguages().empty());
    ::setenv("LANG", "C.UTF-8", 1);
    EXPECT_TRUE(preferredLanguages().empty());
    ::setenv("LANG", "zh_TW.UTF-8", 1);
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"zh-Hant"}));
}

TEST_F(LocaleEnvironment, OverrideWinsUntilReset)
{
    ::setenv("LANG", "de_DE.UTF-8", 1);
    setPreferredLanguagesOverride(std::vector<std::string>{"ko", "en"});
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"ko", "en"}));
    setPreferredLanguagesOverride(std::vector<std::string>{});
    EXPECT_TRUE(preferredLanguages().empty());
    setPreferredLanguagesOverride(std::nullopt);
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"de-DE"}));
}
