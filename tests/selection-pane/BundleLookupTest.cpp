#include "selection-pane/LogicFixture.h"

#include "selection-pane/APPViewControl_LayoutPlugin.h"
#include "selection-pane/InstallerPluginPane_LayoutPlugin.h"
#include "selection-pane/LayoutPluginBundleLookup.h"

#include "platform/foundation/Bundle.h"

namespace oxlade::test {
namespace {

using platform::Bundle;

std::vector<std::string> pathsOf(const std::optional<BundleList>& bundles)
{
    std::vector<std::string> paths;
    if (bundles) {
        for (const auto& bundle : *bundles)
            paths.push_back(bundle->bundlePath());
    }
    return paths;
}

class FindMyBundle : public LogicFixture {
protected:
    void SetUp() override
    {
        LogicFixture::SetUp();
        own = addBundle({}, "a");
        lowerCase = addBundle(BundleContents().named("oxlade.bundle"), "b");
        otherIdentifier = addBundle(BundleContents().identifiedAs("com.tavix.Other"), "c");
        noIdentifier = addBundle(BundleContents().identifiedAs(std::nullopt), "d");
    }

    APPViewControl_LayoutPlugin controller;
    std::shared_ptr<Bundle> own, lowerCase, otherIdentifier, noIdentifier;
};

TEST_F(FindMyBundle, GetBundleArrayFindsOnlyTheBundleWithBothNameAndIdentifier)
{
    EXPECT_EQ(pathsOf(controller.getBundleArray()), std::vector<std::string>{own->bundlePath()});
}

TEST_F(FindMyBundle, NameIsComparedCaseSensitively)
{
    EXPECT_EQ(pathsOf(controller.FindMyBundle(std::string("OXLADE.bundle"), std::nullopt)),
              std::vector<std::string>{});
    EXPECT_EQ(pathsOf(controller.FindMyBundle(std::string("oxlade.bundle"), std::nullopt)),
              std::vector<std::string>{lowerCase->bundlePath()});
}

TEST_F(FindMyBundle, NameAloneMatchesEveryIdentifierInLoadingOrder)
{
    EXPECT_EQ(pathsOf(controller.FindMyBundle(std::string("Oxlade.bundle"), std::nullopt)),
              (std::vector<std::string>{own->bundlePath(), otherIdentifier->bundlePath(), noIdentifier->bundlePath()}));
}

TEST_F(FindMyBundle, ABundleWithoutIdentifierNeverMatchesAGivenIdentifier)
{
    EXPECT_EQ(pathsOf(controller.FindMyBundle(std::nullopt, std::string("com.tavix.Oxlade"))),
              (std::vector<std::string>{own->bundlePath(), lowerCase->bundlePath()}));
    EXPECT_EQ(pathsOf(controller.FindMyBundle(std::string("Oxlade.bundle"), std::string(""))),
              std::vector<std::string>{});
}

TEST_F(FindMyBundle, NeitherNameNorIdentifierGivesEveryLoadedBundle)
{
    std::vector<std::string> all;
    for (const auto& bundle : Bundle::allBundles())
        all.push_back(bundle->bundlePath());
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(pathsOf(controller.FindMyBundle(std::nullopt, std::nullopt)), all);
}

TEST_F(FindMyBundle, PaneAndControllerAnswerAlike)
{
    InstallerPluginPane_LayoutPlugin pane;
    EXPECT_EQ(pathsOf(pane.getBundleArray()), pathsOf(controller.getBundleArray()));
    EXPECT_EQ(pathsOf(pane.FindMyBundle(std::string("Oxlade.bundle"), std::nullopt)),
              pathsOf(controller.FindMyBundle(std::string("Oxlade.bundle"), std::nullopt)));
}

// The eight localizations of the language table, each with a text naming itself.
const std::vector<std::string> kLocalizations = {"English", "German", "Spanish", "French",
                                                 "Italian", "Japanese", "ko", "zh_CN"};

BundleContents everyLocalization()
{
    BundleContents contents;
    for (const auto& localization : kLocalizations)
        contents.tables[localization] = {{"Title", "title in " + localization}};
    return contents;
}

class LocalizedString : public LogicFixture {
protected:
    APPViewControl_LayoutPlugin controller;
};

TEST_F(LocalizedString, NoKeyGivesTheEmptyString)
{
    addBundle(everyLocalization());
    EXPECT_EQ(controller.localizedStringForKey(controller.getBundleArray(), std::nullopt), "");
    EXPECT_EQ(controller.localizedStringForKey(std::nullopt, std::nullopt), "");
}

TEST_F(LocalizedString, StandardStageInTheCodeBundleWinsOverTheLanguageTable)
{
    addBundle(everyLocalization());
    auto code = makeBundle(m_temp / "code", BundleContents().table("English", {{"Title", "from the code bundle"}}));
    LayoutPluginBundleLookup::setCodeBundleOverride(code);
    setLanguages({"de"});
    EXPECT_EQ(controller.localizedStringForKey(controller.getBundleArray(), std::string("Title")),
              "from the code bundle");
}

TEST_F(LocalizedString, TextEqualToItsKeyCountsAsMissingInBothStages)
{
    auto code = makeBundle(m_temp / "code", BundleContents().table("English", {{"Title", "Title"}}));
    LayoutPluginBundleLookup::setCodeBundleOverride(code);
    addBundle(BundleContents().table("English", {{"Title", "Title"}}), "first");
    addBundle(BundleContents().table("English", {{"Title", "second bundle"}}), "second");
    EXPECT_EQ(controller.localizedStringForKey(controller.getBundleArray(), std::string("Title")), "second bundle");
}

TEST_F(LocalizedString, SecondBundleAnswersWhenTheFirstLacksTheLocalization)
{
    setLanguages({"fr"});
    addBundle(BundleContents().table("English", {{"Title", "first, English"}}), "first");
    addBundle(BundleContents().table("French", {{"Title", "second, French"}}), "second");
    EXPECT_EQ(controller.localizedStringForKey(controller.getBundleArray(), std::string("Title")), "second, French");
}

TEST_F(LocalizedString, KeyFoundNowhereOrNoBundlesGivesTheKey)
{
    addBundle(everyLocalization());
    EXPECT_EQ(controller.localizedStringForKey(controller.getBundleArray(), std::string("NO_SUCH_KEY")), "NO_SUCH_KEY");
    EXPECT_EQ(controller.localizedStringForKey(std::nullopt, std::string("Title")), "Title");
    EXPECT_EQ(controller.localizedStringForKey(BundleList{}, std::string("Title")), "Title");
    EXPECT_EQ(controller.localizedStringForKey(BundleList{nullptr}, std::string("Title")), "Title");
}

struct LanguageCase {
    std::vector<std::string> languages;
    std::string localization;
};

class LanguageTable : public LocalizedString, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguageTable, FirstPreferredLanguageChoosesTheLocalization)
{
    addBundle(everyLocalization());
    setLanguages(GetParam().languages);
    EXPECT_EQ(controller.localizedStringForKey(controller.getBundleArray(), std::string("Title")),
              "title in " + GetParam().localization);
    EXPECT_EQ(LayoutPluginBundleLookup::localizationForLanguages(GetParam().languages), GetParam().localization);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LanguageTable,
    ::testing::Values(LanguageCase{{"de"}, "German"}, LanguageCase{{"es"}, "Spanish"}, LanguageCase{{"fr"}, "French"},
                      LanguageCase{{"it"}, "Italian"}, LanguageCase{{"ja"}, "Japanese"}, LanguageCase{{"ko"}, "ko"},
                      LanguageCase{{"zh-Hans"}, "zh_CN"}, LanguageCase{{"de-DE"}, "English"},
                      LanguageCase{{"en"}, "English"}, LanguageCase{{"pt"}, "English"},
                      LanguageCase{{"zh-Hant"}, "English"}, LanguageCase{{"DE"}, "English"},
                      LanguageCase{{"pt", "de"}, "English"}, LanguageCase{{"ja", "de"}, "Japanese"},
                      LanguageCase{{}, "English"}));

TEST_F(LocalizedString, PaneAndControllerAnswerAlike)
{
    addBundle(everyLocalization());
    setLanguages({"it"});
    InstallerPluginPane_LayoutPlugin pane;
    EXPECT_EQ(pane.localizedStringForKey(pane.getBundleArray(), std::string("Title")), "title in Italian");
    EXPECT_EQ(pane.title(), "title in Italian");
}

}  // namespace
}  // namespace oxlade::test
