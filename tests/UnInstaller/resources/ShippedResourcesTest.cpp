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
    "RequirementsMessageKey", "STEXT_OK_BUTTON", "STEXT_END",
    // What a removal can come to.
    "STEXT_NOT_AUTHORIZED", "STEXT_NOT_AUTHORIZED_MESSAGE", "STEXT_NO_AGENT", "STEXT_NO_AGENT_MESSAGE",
    "STEXT_NO_POLKIT", "STEXT_NO_POLKIT_MESSAGE", "STEXT_PLAN_NOT_SAVED", "STEXT_PLAN_NOT_SAVED_MESSAGE",
    "STEXT_NOT_STARTED", "STEXT_NOT_STARTED_MESSAGE", "STEXT_PROGRESS_TITLE", "STEXT_PROGRESS", "STEXT_STOP_BUTTON",
    "STEXT_STOPPING", "STEXT_REMOVED_ONE", "STEXT_REMOVED_OTHER", "STEXT_KEPT_ONE", "STEXT_KEPT_OTHER",
    "STEXT_FILES_KEPT_ONE", "STEXT_FILES_KEPT_OTHER",
    "STEXT_NONE_REMOVED_ONE", "STEXT_NONE_REMOVED_OTHER", "STEXT_SOME_NOT_REMOVED", "STEXT_STOPPED",
    "STEXT_LOG_HINT", "STEXT_BACK_BUTTON", "STEXT_QUIT_BUTTON", "STEXT_NOT_TRIED_ONE", "STEXT_NOT_TRIED_OTHER",
    "STEXT_PROGRESS_WAITING",
    // Why the plan could not be written.
    "STEXT_REASON_FOLDER_IN_THE_WAY", "STEXT_REASON_FILE_IN_THE_WAY", "STEXT_REASON_NO_PERMISSION",
    "STEXT_REASON_DISK_FULL", "STEXT_REASON_READ_ONLY", "STEXT_REASON_UNKNOWN",
    "STEXT_BUSY", "STEXT_BUSY_MESSAGE", "STEXT_REMOVAL_FAILED", "STEXT_REMOVAL_FAILED_MESSAGE",
    "STEXT_REGISTRY_UNREADABLE", "STEXT_ROW_OUTSIDE", "STEXT_ROW_UNSAFE", "STEXT_ROW_NO_SETTING",
    // The About box.
    "STEXT_ABOUT_DESCRIPTION", "STEXT_VERSION"};

/// How many values a text takes ("%@" placeholders).
std::size_t placeholders(const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t at = text.find("%@"); at != std::string::npos; at = text.find("%@", at + 2))
        ++count;
    return count;
}

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
    // Every text takes the values the English one takes, and the log hint names the log tag.
    const std::optional<platform::StringsTable> english =
        platform::readStringsTableFile(kResources + "/English.lproj/Localizable.strings");
    ASSERT_TRUE(english.has_value());
    for (const std::string& key : kKeys)
        EXPECT_EQ(placeholders(table->at(key)), placeholders(english->at(key))) << GetParam() << " " << key;
    EXPECT_NE(table->at("STEXT_LOG_HINT").find("journalctl -t Plugsweep"), std::string::npos) << GetParam();
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
