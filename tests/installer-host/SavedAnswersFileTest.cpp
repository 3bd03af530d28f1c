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

TEST_F(SavedAnswersFileTest, BinaryAnswersAreWrittenBackBinaryAndStayReadable)
{
    // Many references to one long string: small in the binary form, far past the size limit as
    // indented XML, which cannot share it.
    platform::PlistArray answers(600000, platform::PlistValue(std::string(200, 'a')));
    platform::PlistDictionary root;
    root.set("answers", platform::PlistValue(std::move(answers)));
    const std::string path = dir + "/answers.plist";
    ASSERT_TRUE(platform::writePropertyListAtomically(platform::PlistValue(root), path, platform::PlistFormat::Binary));
    const SavedAnswersFile file(path);
    std::string error;
    auto read = file.read(error);
    ASSERT_TRUE(read) << error;
    ASSERT_TRUE(file.write(*read, error)) << error;
    std::ifstream in(path, std::ios::binary);
    std::string head(6, '\0');
    in.read(head.data(), 6);
    EXPECT_EQ(head, "bplist");
    EXPECT_LT(std::filesystem::file_size(path), platform::kMaxPropertyListBytes / 8);
    EXPECT_TRUE(file.read(error)) << error;
}

TEST_F(SavedAnswersFileTest, AnswersTooLargeToReadAgainAreNotWrittenAndTheReasonSaysSize)
{
    // New answers are written as XML, which cannot share the repeated string: the write is
    // refused, the earlier file stays, and the reason names the size.
    const std::string path = dir + "/answers.plist";
    { std::ofstream(path) << "earlier"; }
    platform::PlistDictionary answers;
    answers.set("answers", platform::PlistValue(platform::PlistArray(600000, platform::PlistValue(std::string(200, 'a')))));
    std::string error;
    EXPECT_FALSE(SavedAnswersFile(path).write(answers, error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "earlier");
}

TEST_F(SavedAnswersFileTest, FileTooLargeToReadIsRefusedForItsSize)
{
    const std::string path = dir + "/answers.plist";
    { std::ofstream create(path); }
    std::filesystem::resize_file(path, platform::kMaxPropertyListBytes + 1);
    std::string error;
    EXPECT_FALSE(SavedAnswersFile(path).read(error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
}
