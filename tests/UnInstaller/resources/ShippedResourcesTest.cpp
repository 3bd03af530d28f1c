#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StringsTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kResources = std::string(SOURCE_DIR) + "/UnInstaller/resources";

const std::vector<std::string> kKeys = {
    "STEXT_CAPTION", "STEXT_UNINSTALL_MESSAGE", "STEXT_UNINSTALL_BUTTON", "STEXT_CLOSE_BUTTON",
    "STEXT_ALLSELECT", "STEXT_ALLUNSELECT", "NOTFOUND_MESS", "MENU_APP", "MENU_ABOUT", "MENU_QUIT",
    "RequirementsMessageKey", "STEXT_OK_BUTTON", "STEXT_END", "STEXT_NOT_REMOVED", "STEXT_NOT_REMOVED_MESSAGE",
    "STEXT_NO_AUTH_PROMPT", "STEXT_NO_AUTH_PROMPT_MESSAGE",
    // The About box.
    "STEXT_ABOUT_DESCRIPTION", "STEXT_VERSION"};

class ShippedStringsTable : public ::testing::TestWithParam<std::string> {};

TEST_P(ShippedStringsTable, HasARealTextForEveryKey)
{
    const std::string path = kResources + "/" + GetParam() + ".lproj/Localizable.strings";
    std::optional<platform::StringsTable> table = platform::readStringsTableFile(path);
    ASSERT_TRUE(table.has_value()) << path;
    for (const std::string& key : kKeys) {
        auto it = table->find(key);
        ASSERT_NE(it, table->end()) << GetParam() << " lacks " << key;
        EXPECT_FALSE(it->second.empty()) << key;
        EXPECT_NE(it->second, key) << key;
    }
    EXPECT_EQ(table->size(), kKeys.size());
    // The count of modules left goes where "%@" stands, exactly once.
    const std::string& message = table->at("STEXT_NOT_REMOVED_MESSAGE");
    EXPECT_NE(message.find("%@"), std::string::npos) << GetParam();
    EXPECT_EQ(message.find("%@"), message.rfind("%@")) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Localizations, ShippedStringsTable,
                         ::testing::Values("English", "German", "Spanish", "French", "Italian", "Japanese",
                                           "ko", "zh_CN"));

TEST(ShippedStringsTables, EveryLocalizationFolderIsTested)
{
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator(kResources)) {
        if (entry.path().extension() == ".lproj")
            folders.push_back(entry.path().stem().string());
    }
    EXPECT_EQ(folders.size(), 8u);
}

TEST(ShippedInfoPlist, NamesTheProgramAndTheWindowDescription)
{
    std::optional<platform::PlistDictionary> info = platform::dictionaryWithContentsOfFile(kResources + "/Info.plist");
    ASSERT_TRUE(info.has_value());
    ASSERT_NE(info->stringForKey("CFBundleExecutable"), nullptr);
    EXPECT_EQ(*info->stringForKey("CFBundleExecutable"), "Plugsweep");
    ASSERT_NE(info->stringForKey("NSMainNibFile"), nullptr);
    EXPECT_EQ(*info->stringForKey("NSMainNibFile"), "MainMenu");
    ASSERT_NE(info->stringForKey("CFBundleIdentifier"), nullptr);
    EXPECT_EQ(*info->stringForKey("CFBundleIdentifier"), "com.tavix.Plugsweep");
    EXPECT_TRUE(std::filesystem::exists(kResources + "/MainMenu.ui"));
}

}  // namespace
