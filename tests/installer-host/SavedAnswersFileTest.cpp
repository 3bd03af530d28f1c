#include "installer-host/SavedAnswersFile.h"

#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using installerhost::SavedAnswersFile;

namespace {

class SavedAnswersFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/saved-answers-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string dir;
};

TEST_F(SavedAnswersFileTest, MissingFileSeedsEmptyDictionary)
{
    std::string error;
    auto dictionary = SavedAnswersFile(dir + "/answers.plist").read(error);
    ASSERT_TRUE(dictionary) << error;
    EXPECT_TRUE(dictionary->empty());
}

TEST_F(SavedAnswersFileTest, WrittenDictionaryReadsBackAsXmlPropertyList)
{
    platform::PlistDictionary answers;
    answers.set("selectionAPPKey", platform::PlistArray{"APP_A", "APP_B"});
    answers.set("LayoutPluginInstall", "NO");
    SavedAnswersFile file(dir + "/answers.plist");
    std::string error;
    ASSERT_TRUE(file.write(answers, error)) << error;

    platform::PlistFormat format = platform::PlistFormat::Binary;
    ASSERT_TRUE(platform::readPropertyListFile(file.path(), &format));
    EXPECT_EQ(format, platform::PlistFormat::Xml);
    auto back = file.read(error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, answers);
}

TEST_F(SavedAnswersFileTest, WriteReplacesEarlierFile)
{
    SavedAnswersFile file(dir + "/answers.plist");
    std::string error;
    platform::PlistDictionary first;
    first.set("Old", "1");
    ASSERT_TRUE(file.write(first, error));
    platform::PlistDictionary second;
    second.set("New", "2");
    ASSERT_TRUE(file.write(second, error));
    EXPECT_EQ(*file.read(error), second);
}

TEST_F(SavedAnswersFileTest, UnreadableContentIsRefusedNotTreatedAsEmpty)
{
    const std::string garbage = dir + "/garbage.plist";
    std::ofstream(garbage) << "this is no property list";
    const std::string array = dir + "/array.plist";
    ASSERT_TRUE(platform::writeToFile(platform::PlistValue(platform::PlistArray{"x"}), array, false));

    for (const std::string& path : {garbage, array, dir}) {
        std::string error;
        EXPECT_FALSE(SavedAnswersFile(path).read(error)) << path;
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    }
}

TEST_F(SavedAnswersFileTest, WriteIntoMissingFolderFails)
{
    std::string error;
    EXPECT_FALSE(SavedAnswersFile(dir + "/no/such/answers.plist").write(platform::PlistDictionary(), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

}  // namespace
