// FileTree::Session: many paths examined and removed in turn through folders kept open.

#include "UnInstaller/resources/ScriptHelper/FileTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using scripthelper::FileTree;

class FileTreeSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/filetree-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        fs::create_directories(dir + "/Modules");
    }
    void TearDown() override { fs::remove_all(dir); }

    /// A module folder holding name.plugin with a file, an empty folder and a nested folder.
    std::string makeModule(const std::string& folder, const std::string& name = "M")
    {
        const std::string plugin = dir + "/Modules/" + folder + "/" + name + ".plugin";
        fs::create_directories(plugin + "/Contents/Resources/English.lproj");
        fs::create_directories(plugin + "/Contents/Empty");
        std::ofstream(plugin + "/Contents/Info.plist") << "<plist/>";
        std::ofstream(plugin + "/Contents/Resources/English.lproj/Localizable.strings") << "\"a\" = \"b\";";
        return plugin;
    }

    std::string dir;
    FileTree::Session session;
};

TEST_F(FileTreeSession, RemovesEachTargetAndItsEmptyFolderInTurn)
{
    std::vector<FileTree::Target> targets;
    for (const char* folder : {"A", "B", "C"})
        targets.emplace_back(makeModule(folder));
    for (FileTree::Target& target : targets) {
        const FileTree::Inspection inspection = session.inspect(target, {});
        EXPECT_FALSE(inspection.problem) << *inspection.problem;
        EXPECT_FALSE(inspection.missing);
    }
    std::string error;
    for (FileTree::Target& target : targets) {
        ASSERT_EQ(session.moveAside(target, ".held", &error), FileTree::Outcome::Removed) << error;
        EXPECT_FALSE(fs::exists(target.path()));
        ASSERT_EQ(session.removeHeld(target, ".held", &error), FileTree::Outcome::Removed) << error;
        EXPECT_TRUE(session.removeFolderIfEmpty(target));
    }
    EXPECT_TRUE(fs::is_empty(dir + "/Modules"));
}

TEST_F(FileTreeSession, TargetStaysWithTheFolderItWasExaminedIn)
{
    FileTree::Target target(makeModule("A"));
    ASSERT_FALSE(session.inspect(target, {}).problem);
    // The folder moves after the examination: the removal follows the folder, never the name.
    fs::rename(dir + "/Modules/A", dir + "/Moved");
    fs::create_directories(dir + "/Modules/A/M.plugin");
    std::ofstream(dir + "/Modules/A/M.plugin/new") << "stays";

    std::string error;
    ASSERT_EQ(session.moveAside(target, ".held", &error), FileTree::Outcome::Removed) << error;
    ASSERT_EQ(session.removeHeld(target, ".held", &error), FileTree::Outcome::Removed) << error;
    EXPECT_TRUE(fs::is_empty(dir + "/Moved"));
    EXPECT_TRUE(fs::exists(dir + "/Modules/A/M.plugin/new"));
}

TEST_F(FileTreeSession, LinksInsideAreRemovedAsLinksAndTheirTargetsSurvive)
{
    const std::string plugin = makeModule("A");
    fs::create_directories(dir + "/Outside/Folder");
    std::ofstream(dir + "/Outside/Folder/keep") << "keep";
    fs::create_directory_symlink(dir + "/Outside/Folder", plugin + "/Contents/ToFolder");
    fs::create_symlink(dir + "/Outside/Folder/keep", plugin + "/Contents/Resources/ToFile");
    FileTree::Target target(plugin);
    ASSERT_FALSE(session.inspect(target, {}).problem);

    std::string error;
    ASSERT_EQ(session.moveAside(target, ".held", &error), FileTree::Outcome::Removed) << error;
    ASSERT_EQ(session.removeHeld(target, ".held", &error), FileTree::Outcome::Removed) << error;
    EXPECT_TRUE(fs::is_empty(dir + "/Modules/A"));
    EXPECT_TRUE(fs::exists(dir + "/Outside/Folder/keep"));
}

TEST_F(FileTreeSession, InspectionNamesWhatMayNotBeRemoved)
{
    const std::string alpha = makeModule("Alpha");
    const std::string beta = makeModule("Beta");
    fs::create_directory_symlink(dir + "/Modules/Alpha", dir + "/Modules/Via");
    fs::create_directory_symlink(alpha, dir + "/Modules/Beta/Link.plugin");
    std::ofstream(dir + "/Modules/File") << "not a folder";
    const auto foreign = FileTree::identity(alpha + "/Contents/Resources");
    ASSERT_TRUE(foreign);

    struct Case {
        std::string path;
        std::string problem;
    };
    const Case cases[] = {
        {dir + "/Modules/Beta/Link.plugin", "is a symbolic link"},
        {dir + "/Modules/Via/M.plugin", "passes through the symbolic link " + dir + "/Modules/Via"},
        {dir + "/Modules/File/M.plugin", "passes through " + dir + "/Modules/File, which is not a folder"},
        {alpha, "holds " + alpha + "/Contents/Resources, the install path of another module"},
        {dir + "/Modules/Alpha/../Beta", "has a \".\" or \"..\" component"},
        {beta, ""},
    };
    FileTree::FileIds foreignIds;
    foreignIds.add(*foreign);
    foreignIds.sort();
    for (const Case& c : cases) {
        FileTree::Target target(c.path);
        const FileTree::Inspection inspection = session.inspect(target, foreignIds);
        EXPECT_EQ(inspection.problem.value_or(""), c.problem) << c.path;
    }
    for (const std::string& missing : {dir + "/Modules/Gone/M.plugin", dir + "/Modules/Alpha/Gone.plugin"}) {
        FileTree::Target target(missing);
        const FileTree::Inspection inspection = session.inspect(target, {});
        EXPECT_TRUE(inspection.missing) << missing;
        EXPECT_FALSE(inspection.problem) << missing;
    }
}

TEST_F(FileTreeSession, IdentityFromFoldersAlreadyOpenIsWhatStatTells)
{
    const std::string alpha = makeModule("Alpha");
    fs::create_directory_symlink(alpha, dir + "/Modules/Link.plugin");
    FileTree::Target target(makeModule("Beta"));
    ASSERT_TRUE(session.reach(target));
    for (const std::string& path : {alpha, dir + "/Modules/Link.plugin", dir + "/Modules/Alpha/", dir + "/Modules",
                                    dir + "/Modules//Alpha", dir + "/Modules/./Alpha/M.plugin", dir + "/Modules/Beta/../Alpha",
                                    dir + "/Modules/Link.plugin/Contents", dir + "/Modules/Missing/M.plugin",
                                    dir + "/Modules/Alpha/M.plugin/Contents/Info.plist/", std::string("relative/path")}) {
        EXPECT_EQ(session.identity(path), FileTree::identity(path)) << path;
    }
    EXPECT_EQ(session.identity(dir + "/Modules/Link.plugin"), FileTree::identity(alpha));
}

TEST_F(FileTreeSession, HoldsOnlyTellsWhetherTheFolderHoldsTheTargetAlone)
{
    FileTree::Target alone(makeModule("A"));
    FileTree::Target shared(makeModule("B"));
    std::ofstream(dir + "/Modules/B/readme") << "more";
    EXPECT_TRUE(session.holdsOnly(alone));
    EXPECT_FALSE(session.holdsOnly(shared));
    EXPECT_FALSE(session.removeFolderIfEmpty(shared));
    EXPECT_TRUE(fs::exists(dir + "/Modules/B/readme"));
}

TEST(FileTreeFileIds, AnswersForEveryIdentityAddedBeforeTheLastSortAndNoOther)
{
    FileTree::FileIds ids;
    // Added out of order and twice over; same inode on another device is another file.
    const FileTree::FileId added[] = {{3, 9}, {1, 7}, {3, 9}, {2, 7}, {1, 1}};
    for (const FileTree::FileId& id : added)
        ids.add(id);
    ids.sort();
    for (const FileTree::FileId& id : added)
        EXPECT_TRUE(ids.contains(id)) << id.device << ":" << id.inode;
    for (const FileTree::FileId& id : {FileTree::FileId{0, 0}, FileTree::FileId{3, 7}, FileTree::FileId{1, 9},
                                       FileTree::FileId{4, 1}})
        EXPECT_FALSE(ids.contains(id)) << id.device << ":" << id.inode;
    ids.add({0, 0});
    ids.sort();
    EXPECT_TRUE(ids.contains({0, 0}));
    EXPECT_TRUE(ids.contains({2, 7}));
}

}  // namespace
