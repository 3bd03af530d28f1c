#include "selection-pane/PaneTestSupport.h"

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StringsTable.h"

#include <set>

namespace oxlade::test {
namespace {

using platform::PlistDictionary;

const std::string kResources = std::string(SOURCE_DIR) + "/selection-pane/resources";

const std::vector<std::string> kLocalizations = {"English", "German", "Spanish", "French",
                                                 "Italian", "Japanese", "ko", "zh_CN"};

PlistDictionary shippedCatalogue()
{
    auto catalogue = platform::dictionaryWithContentsOfFile(kResources + "/Applications.plist");
    return catalogue ? *catalogue : PlistDictionary();
}

std::vector<std::string> catalogueKeys()
{
    std::vector<std::string> keys;
    const PlistDictionary catalogue = shippedCatalogue();
    if (const auto* apps = catalogue.arrayForKey("APPs")) {
        for (const auto& app : *apps) {
            if (const auto* entry = app.asDictionary(); entry && entry->stringForKey("APPNameKey"))
                keys.push_back(*entry->stringForKey("APPNameKey"));
        }
    }
    return keys;
}

class ShippedTable : public ::testing::TestWithParam<std::string> {};

TEST_P(ShippedTable, ParsesAndTranslatesEveryKeyThePaneAsksFor)
{
    const auto table = platform::readStringsTableFile(kResources + "/" + GetParam() + ".lproj/Localizable.strings");
    ASSERT_TRUE(table) << GetParam() << " does not parse";
    std::vector<std::string> keys = catalogueKeys();
    ASSERT_GE(keys.size(), 5u);
    keys.push_back("Title");
    keys.push_back("LAYOUTPLUGIN_BUTTON");
    for (const auto& key : keys) {
        const auto text = table->find(key);
        ASSERT_NE(text, table->end()) << GetParam() << " has no text for " << key;
        EXPECT_FALSE(text->second.empty()) << GetParam() << ": " << key;
        EXPECT_NE(text->second, key) << GetParam() << ": " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Localizations, ShippedTable, ::testing::ValuesIn(kLocalizations));

TEST(ShippedTables, TranslationsDifferFromEnglish)
{
    const auto english = platform::readStringsTableFile(kResources + "/English.lproj/Localizable.strings");
    ASSERT_TRUE(english);
    for (const auto& localization : kLocalizations) {
        if (localization == "English")
            continue;
        const auto table = platform::readStringsTableFile(kResources + "/" + localization + ".lproj/Localizable.strings");
        ASSERT_TRUE(table) << localization;
        EXPECT_NE(table->at("Title"), english->at("Title")) << localization;
        for (const char* key : {"LAYOUTPLUGIN_BUTTON", "HEADING_MESSAGE", "STEXT_NOT_FOUND", "FOLDER_PANEL_TITLE", "PS_SELF"}) {
            ASSERT_EQ(table->count(key), 1u) << localization << " lacks " << key;
            EXPECT_NE(table->at(key), english->at(key)) << localization << ": " << key;
        }
        EXPECT_NE(table->at("FOLDER_PANEL_TITLE").find("%@"), std::string::npos) << localization;
    }
}

TEST(ShippedTables, EveryTableHoldsTheEnglishKeysAndKeepsHostNamesAsBrandNames)
{
    const auto english = platform::readStringsTableFile(kResources + "/English.lproj/Localizable.strings");
    ASSERT_TRUE(english);
    const std::vector<std::string> hosts = catalogueKeys();
    for (const auto& localization : kLocalizations) {
        const auto table = platform::readStringsTableFile(kResources + "/" + localization + ".lproj/Localizable.strings");
        ASSERT_TRUE(table) << localization;
        std::set<std::string> keys, englishKeys;
        for (const auto& entry : *table)
            keys.insert(entry.first);
        for (const auto& entry : *english)
            englishKeys.insert(entry.first);
        EXPECT_EQ(keys, englishKeys) << localization;
        for (const auto& host : hosts) {
            if (host == "PS_SELF" || !table->count(host))
                continue;
            EXPECT_EQ(table->at(host), english->at(host)) << localization << ": a host's name is its brand name";
        }
    }
}

// Each language words the same thing the same way in both deliverables, with the words its
// desktop users know.
TEST(ShippedTables, WordingIsConsistentAcrossBothDeliverables)
{
    const struct {
        std::string localization;
        std::vector<std::string> avoidedWords;
        std::vector<std::string> avoidedTexts;
    } cases[] = {
        {"French", {"plug-in", "Plug-in"}, {}},
        {"zh_CN", {"点按"}, {"好"}},
    };
    for (const std::string& folder : {kResources, std::string(SOURCE_DIR) + "/UnInstaller/resources",
                                     std::string(SOURCE_DIR) + "/installer-host/resources"}) {
        for (const auto& c : cases) {
            const auto table = platform::readStringsTableFile(folder + "/" + c.localization + ".lproj/Localizable.strings");
            ASSERT_TRUE(table) << folder << " " << c.localization;
            for (const auto& [key, text] : *table) {
                for (const auto& word : c.avoidedWords)
                    EXPECT_EQ(text.find(word), std::string::npos) << folder << " " << c.localization << ": " << key;
                for (const auto& avoided : c.avoidedTexts)
                    EXPECT_NE(text, avoided) << folder << " " << c.localization << ": " << key;
            }
        }
    }
}

// Tables are kept as the platform writes them, UTF-8; the same table in UTF-16 still reads the same.
TEST(ShippedTables, AreUtf8AndReadTheSameFromUtf16)
{
    for (const auto& localization : kLocalizations) {
        const auto bytes = readFile(kResources + "/" + localization + ".lproj/Localizable.strings");
        ASSERT_TRUE(bytes);
        EXPECT_FALSE(bytes->rfind("\xff\xfe", 0) == 0 || bytes->rfind("\xfe\xff", 0) == 0) << localization;
        const auto table = platform::parseStringsTable(*bytes);
        ASSERT_TRUE(table) << localization << " is not a UTF-8 strings table";

        // Little-endian UTF-16 with its byte-order mark, code point by code point.
        std::string utf16("\xff\xfe");
        const auto put = [&utf16](char32_t unit) {
            utf16 += static_cast<char>(unit & 0xFF);
            utf16 += static_cast<char>((unit >> 8) & 0xFF);
        };
        for (std::size_t i = 0; i < bytes->size();) {
            const auto lead = static_cast<unsigned char>((*bytes)[i]);
            const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            char32_t point = length == 1 ? lead : lead & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k)
                point = (point << 6) | (static_cast<unsigned char>((*bytes)[i + k]) & 0x3F);
            i += length;
            if (point >= 0x10000) {
                put(0xD800 + ((point - 0x10000) >> 10));
                put(0xDC00 + ((point - 0x10000) & 0x3FF));
            } else {
                put(point);
            }
        }
        EXPECT_EQ(platform::parseStringsTable(utf16), table) << localization;
    }
}

TEST(ShippedCatalogue, OffersEveryKindOfHost)
{
    const PlistDictionary catalogue = shippedCatalogue();
    ASSERT_TRUE(catalogue.stringForKey("SupportDriverVersion")) << "the version must be a string";
    ASSERT_TRUE(catalogue.stringForKey("SupportLayoutPlugin"));
    const auto* apps = catalogue.arrayForKey("APPs");
    ASSERT_TRUE(apps);

    std::set<std::string> keys;
    int pathFileHosts = 0, fixedHosts = 0, userFolderHosts = 0, viewers = 0;
    for (const auto& app : *apps) {
        const PlistDictionary* entry = app.asDictionary();
        ASSERT_TRUE(entry);
        const auto* type = entry->stringForKey("PluginType");
        const auto* name = entry->stringForKey("APPNameKey");
        ASSERT_TRUE(type && name);
        EXPECT_TRUE(keys.insert(*name).second) << "duplicate " << *name;
        if (*name == "PS_SELF") {
            ++userFolderHosts;
        } else if (*type == "QVR") {
            ++viewers;
        } else if (*type == "PS") {
            ++pathFileHosts;
            const auto* pathsFiles = entry->arrayForKey("PathsFiles");
            ASSERT_TRUE(pathsFiles && !pathsFiles->empty()) << *name;
            for (const auto& file : *pathsFiles)
                EXPECT_TRUE(file.asString()) << *name;
            EXPECT_TRUE(entry->stringForKey("ImportName")) << *name;
            EXPECT_TRUE(entry->stringForKey("AutomationName")) << *name;
        } else {
            ++fixedHosts;
            ASSERT_TRUE(entry->stringForKey("InstallPath")) << *name;
            EXPECT_EQ(entry->stringForKey("InstallPath")->front(), '/') << *name;
        }
    }
    EXPECT_GE(pathFileHosts, 2);
    EXPECT_GE(fixedHosts, 1);
    EXPECT_EQ(userFolderHosts, 1);
    EXPECT_GE(viewers, 1);
}

TEST(ShippedInfo, NamesTheBundleAndItsExecutable)
{
    const auto info = platform::dictionaryWithContentsOfFile(kResources + "/Info.plist");
    ASSERT_TRUE(info);
    EXPECT_EQ(*info->stringForKey("CFBundleIdentifier"), "com.tavix.Oxlade");
    EXPECT_EQ(*info->stringForKey("CFBundleExecutable"), "Oxlade");
    EXPECT_EQ(*info->stringForKey("CFBundleDevelopmentRegion"), "English");
    EXPECT_TRUE(info->stringForKey("CFBundleVersion"));
}

TEST(ShippedInterface, DescribesTheTableAndTheSwitchByOutletName)
{
    const auto ui = readFile(kResources + "/InstallerPane.ui");
    ASSERT_TRUE(ui);
    for (const char* needle : {"name=\"m_uiTableView\"", "name=\"m_uiLayoutInstall\"", "APPViewControl_LayoutPlugin",
                               "<string>chk,name</string>", "name=\"dataSource\"", "name=\"delegate\""})
        EXPECT_NE(ui->find(needle), std::string::npos) << needle;
}

}  // namespace
}  // namespace oxlade::test
