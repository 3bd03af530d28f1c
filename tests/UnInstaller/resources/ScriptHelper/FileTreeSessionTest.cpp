// FileTree::Session: many paths examined and removed in turn through folders kept open.

#include "UnInstaller/resources/ScriptHelper/FileTree.h"

#include "ScopedMount.h"

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
        const FileTree::Inspection inspection = session.inspect(target);
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
    ASSERT_FALSE(session.inspect(target).problem);
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
    ASSERT_FALSE(session.inspect(target).problem);

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

    struct Case {
        std::string path;
        std::string problem;
    };
    const Case cases[] = {
        {dir + "/Modules/Beta/Link.plugin", "is a symbolic link"},
        {dir + "/Modules/Via/M.plugin", "passes through the symbolic link " + dir + "/Modules/Via"},
        {dir + "/Modules/File/M.plugin", "passes through " + dir + "/Modules/File, which is not a folder"},
        {dir + "/Modules/Alpha/../Beta", "has a \".\" or \"..\" component"},
        {beta, ""},
    };
    for (const Case& c : cases) {
        FileTree::Target target(c.path);
        const FileTree::Inspection inspection = session.inspect(target);
        EXPECT_EQ(inspection.problem.value_or(""), c.problem) << c.path;
    }
    for (const std::string& missing : {dir + "/Modules/Gone/M.plugin", dir + "/Modules/Alpha/Gone.plugin"}) {
        FileTree::Target target(missing);
        const FileTree::Inspection inspection = session.inspect(target);
        EXPECT_TRUE(inspection.missing) << missing;
        EXPECT_FALSE(inspection.problem) << missing;
    }
}

TEST_F(FileTreeSession, InspectionRefusesATreeThatAnotherMountShowsAsWell)
{
    const std::string alpha = makeModule("Alpha");
    const std::string beta = makeModule("Beta");
    fs::create_directories(dir + "/View");
    const ScopedMount bound(alpha + "/Contents/Resources", dir + "/View", nullptr, MS_BIND);
    if (!bound.mounted())
        GTEST_SKIP() << "cannot bind-mount here";

    FileTree::Target shown(alpha);
    EXPECT_EQ(session.inspect(shown).problem.value_or(""),
              "is mounted at " + dir + "/View as well (there, or a folder inside it)");
    // A tree that nothing else shows is not held back by another's mount.
    FileTree::Target other(beta);
    EXPECT_FALSE(session.inspect(other).problem);
    EXPECT_TRUE(fs::exists(alpha + "/Contents/Resources/English.lproj/Localizable.strings"));
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

}  // namespace
