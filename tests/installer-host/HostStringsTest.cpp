// The installer host's own texts: looked up in its shipped strings tables in the language the
// user prefers, English when a table, an entry or the whole resource folder is missing.

#include "installer-host/HostStrings.h"
#include "installer-host/InstallerHostOptions.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using installerhost::HostStrings;

namespace {

const std::string kShippedResources = std::string(SOURCE_DIR) + "/installer-host";
const std::vector<std::string> kKeys = {
    installerhost::kWindowTitleKey,        installerhost::kCancelButtonKey,
    installerhost::kBackButtonKey,         installerhost::kContinueButtonKey,
    installerhost::kCloseButtonKey,        installerhost::kFinishStepKey,
    installerhost::kFinishedCloseKey,      installerhost::kQuitConfirmTitleKey,
    installerhost::kQuitConfirmMessageKey, installerhost::kQuitButtonKey,
    installerhost::kResumeButtonKey,       installerhost::kInstallStepKey,
    installerhost::kInstallAgainButtonKey, installerhost::kInstallAuthorizingKey,
    installerhost::kInstallRunningKey,     installerhost::kInstallProgressKey,
    installerhost::kInstallProgressNameKey, installerhost::kInstallListNameKey,
    installerhost::kHostInstalledKey,      installerhost::kHostUpdatedKey,
    installerhost::kHostSkippedKey,        installerhost::kHostNotInstalledKey,
    "INSTALLED_INTO_ONE",                  "INSTALLED_INTO_OTHER",
    "SKIPPED_COUNT_ONE",                   "SKIPPED_COUNT_OTHER",
    installerhost::kNothingInstalledKey,   installerhost::kNothingSelectedKey,
    installerhost::kPlanMissingKey,        installerhost::kPlanUnreadableKey,
    installerhost::kInstallRefusedKey,     installerhost::kInstallBusyKey,
    installerhost::kNotAuthorizedKey,      installerhost::kDismissedKey,
    installerhost::kNoAgentKey,            installerhost::kUnavailableKey,
    installerhost::kFailedKey,
};

class HostStringsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/host-strings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        platform::setPreferredLanguagesOverride(std::nullopt);
        std::filesystem::remove_all(m_dir);
    }

    // A resource folder beside a program folder, with one table per named localization.
    std::string makeResources(const std::vector<std::pair<std::string, std::string>>& tables)
    {
        const std::string folder = m_dir + "/" + installerhost::kResourcesFolderName;
        for (const auto& [localization, content] : tables) {
            std::filesystem::create_directories(folder + "/" + localization + ".lproj");
            std::ofstream(folder + "/" + localization + ".lproj/Localizable.strings") << content;
        }
        std::filesystem::create_directories(folder);
        return folder;
    }

    std::string m_dir;
};

TEST_F(HostStringsTest, ShippedTablesTranslateEveryTextInEveryLanguage)
{
    // The shipped folder is named "resources" in the source tree; open it as the bundle directly.
    const auto resources = platform::Bundle::bundleWithPath(kShippedResources + "/resources");
    ASSERT_TRUE(resources);
    const HostStrings strings(resources);
    const struct {
        std::vector<std::string> preferred;
        std::string expectedContinue;
    } cases[] = {
        {{"en"}, "Continue"},          {{"de"}, "Fortfahren"},     {{"de-DE"}, "Fortfahren"},
        {{"fr"}, "Continuer"},         {{"it"}, "Continua"},       {{"es"}, "Continuar"},
        {{"ja"}, "続ける"},            {{"ko"}, "계속"},           {{"zh-Hans"}, "继续"},
        {{"pt"}, "Continue"},          {{"pt", "de"}, "Fortfahren"}, {{}, "Continue"},
        {{"zh-Hant"}, "Continue"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preferred.empty() ? std::string("(none)") : c.preferred.front());
        platform::setPreferredLanguagesOverride(c.preferred);
        EXPECT_EQ(strings.text(installerhost::kContinueButtonKey), c.expectedContinue);
        const bool english = c.expectedContinue == "Continue";
        for (const std::string& key : kKeys) {
            const std::string text = strings.text(key);
            EXPECT_NE(text, key);
            if (english)
                EXPECT_EQ(text, HostStrings::englishText(key)) << "the built-in English text matches the table";
            else
                EXPECT_NE(text, HostStrings::englishText(key)) << key << " is left in English";
        }
    }
}

TEST_F(HostStringsTest, EnglishTableHoldsTheBuiltInUsage)
{
    platform::setPreferredLanguagesOverride(std::vector<std::string>{"en"});
    const auto resources = platform::Bundle::bundleWithPath(kShippedResources + "/resources");
    ASSERT_TRUE(resources);
    const auto fromTable = [&resources](const std::string& key, const std::string& english) {
        return resources->localizedStringForKey(key, english + "(missing)");
    };
    EXPECT_EQ(installerhost::InstallerHostOptions::usage("p", fromTable), installerhost::InstallerHostOptions::usage("p"));
}

TEST_F(HostStringsTest, FormatFillsPlaceholdersInOrder)
{
    EXPECT_EQ(HostStrings::format("%@ of %@: %@", {"2", "3", "/a"}), "2 of 3: /a");
    EXPECT_EQ(HostStrings::format("%@ and %@", {"one"}), "one and %@") << "a placeholder without argument stays";
    EXPECT_EQ(HostStrings::format("100%", {"x"}), "100%");
}

TEST_F(HostStringsTest, MissingFolderTableOrEntryGivesEnglish)
{
    platform::setPreferredLanguagesOverride(std::vector<std::string>{"de"});
    EXPECT_EQ(HostStrings::locateResources(m_dir), nullptr) << "no resource folder beside the program";
    EXPECT_EQ(HostStrings(nullptr).text(installerhost::kCancelButtonKey), "Cancel");

    makeResources({{"German", "\"CANCEL_BUTTON\" = \"Abbrechen\";\n"}, {"Japanese", "not a table"}});
    const auto resources = HostStrings::locateResources(m_dir);
    ASSERT_NE(resources, nullptr);
    const HostStrings strings(resources);
    EXPECT_EQ(strings.text(installerhost::kCancelButtonKey), "Abbrechen");
    EXPECT_EQ(strings.text(installerhost::kBackButtonKey), "Go Back") << "an entry the table lacks";

    platform::setPreferredLanguagesOverride(std::vector<std::string>{"ja"});
    EXPECT_EQ(strings.text(installerhost::kCancelButtonKey), "Cancel") << "a table that does not parse";
    EXPECT_EQ(HostStrings::englishText("NO_SUCH_KEY"), "NO_SUCH_KEY");
}

}  // namespace
