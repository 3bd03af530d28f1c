// The administrator's setting of the folders where modules may live.

#include "ScriptHelperSandbox.h"

#include "UnInstaller/resources/ScriptHelper/ModuleFolders.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace {

using scripthelper::ModuleFolders;

struct SettingCase {
    const char* name;
    const char* text;
    std::vector<std::string> folders;
    const char* error;
};

class ModuleFoldersText : public ::testing::TestWithParam<SettingCase> {};

TEST_P(ModuleFoldersText, ParsesAsDocumented)
{
    const SettingCase& c = GetParam();
    std::string error;
    const auto folders = ModuleFolders::parse(c.text, &error);
    if (c.error == nullptr) {
        ASSERT_TRUE(folders.has_value()) << error;
        EXPECT_EQ(*folders, c.folders);
    } else {
        EXPECT_FALSE(folders.has_value());
        EXPECT_EQ(error, c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ModuleFoldersText,
    ::testing::Values(
        SettingCase{"OneFolder", "/Library/Printers/Tavix\n", {"/Library/Printers/Tavix"}, nullptr},
        SettingCase{"CommentsBlanksAndTrailingSlash", "# where modules live\n\n  /opt/tavix/ \r\n/Library/Printers/Tavix",
                    {"/opt/tavix", "/Library/Printers/Tavix"}, nullptr},
        SettingCase{"Empty", "", {}, "names no folder"},
        SettingCase{"OnlyComments", "# nothing\n", {}, "names no folder"},
        SettingCase{"Relative", "/Library/Printers/Tavix\nPrinters\n", {}, "line 2: \"Printers\" is not an absolute path"},
        SettingCase{"DotDot", "/Library/Printers/../..\n", {}, "line 1: \"/Library/Printers/../..\" has a \".\" or \"..\" component"},
        SettingCase{"Root", "/\n", {}, "line 1: \"/\" is the root folder"},
        SettingCase{"SystemFolder", "/usr/\n", {}, "line 1: \"/usr\" is a system folder"},
        SettingCase{"LibraryItself", "/Library\n", {}, "line 1: \"/Library\" is a system folder"},
        SettingCase{"InsideUsr", "/opt/tavix\n/usr/sbin\n", {}, "line 2: \"/usr/sbin\" lies in /usr, a tree of the system's own"},
        SettingCase{"InsideEtc", "/etc/ssh\n", {}, "line 1: \"/etc/ssh\" lies in /etc, a tree of the system's own"},
        SettingCase{"InsideVar", "/var/lib/dpkg\n", {}, "line 1: \"/var/lib/dpkg\" lies in /var, a tree of the system's own"},
        SettingCase{"VarTmp", "/var/tmp\n", {}, "line 1: \"/var/tmp\" lies in /var, a tree of the system's own"},
        SettingCase{"BootEfi", "/boot/efi\n", {}, "line 1: \"/boot/efi\" lies in /boot, a tree of the system's own"},
        SettingCase{"RootsHome", "/root/.ssh\n", {}, "line 1: \"/root/.ssh\" lies in /root, a tree of the system's own"},
        SettingCase{"AUsersHome", "/home/alice\n", {}, "line 1: \"/home/alice\" lies in /home, a tree of the system's own"},
        SettingCase{"UsrLocalItself", "/usr/local\n", {}, "line 1: \"/usr/local\" is a system folder"},
        SettingCase{"InsideUsrLocalAndVarOpt", "/usr/local/tavix\n/var/opt/tavix\n",
                    {"/usr/local/tavix", "/var/opt/tavix"}, nullptr}),
    [](const ::testing::TestParamInfo<SettingCase>& info) { return std::string(info.param.name); });

class ModuleFoldersFile : public ScriptHelperSandbox {};
class ScriptHelperSandboxRefusals : public ScriptHelperSandbox {};

TEST_F(ModuleFoldersFile, FolderThatOthersMayChangeIsRefusedWithTheLineOfTheSetting)
{
    const std::string open = root + "/opt/open-folder";
    makeFolder(open);
    ::chmod(open.c_str(), 0777);
    makeFolder(root + "/etc/plugsweep");
    writeText(root + "/etc/plugsweep/module-folders", root + "/Library/Printers/Tavix\n" + open + "\n");
    std::string error;
    EXPECT_FALSE(ModuleFolders::load(&error));
    EXPECT_EQ(error, "the setting " + root + "/etc/plugsweep/module-folders names \"" + open +
                         "\" is writable by group or others");
}

TEST_F(ModuleFoldersFile, SettingTooLargeSaysTheRealLimit)
{
    makeFolder(root + "/etc/plugsweep");
    writeText(root + "/etc/plugsweep/module-folders", std::string(70000, '#'));
    std::string error;
    EXPECT_FALSE(ModuleFolders::load(&error));
    EXPECT_NE(error.find("is larger than the 64 KiB it may hold"), std::string::npos) << error;
}

TEST_F(ModuleFoldersFile, MissingFileMeansTheBuiltFolders)
{
    std::string error;
    const auto folders = ModuleFolders::load(&error);
    ASSERT_TRUE(folders.has_value()) << error;
    ASSERT_EQ(folders->size(), scripthelper::PathPolicy::builtModuleFolders().size());
    EXPECT_EQ(folders->front(), root + scripthelper::PathPolicy::builtModuleFolders().front());
}

TEST_F(ModuleFoldersFile, FileReplacesTheBuiltFoldersAndMayNotBeWritableByOthers)
{
    makeFolder(root + "/etc/plugsweep");
    writeText(root + "/etc/plugsweep/module-folders", root + "/opt/printers\n");
    std::string error;
    auto folders = ModuleFolders::load(&error);
    ASSERT_TRUE(folders.has_value()) << error;
    EXPECT_EQ(*folders, (std::vector<std::string>{root + "/opt/printers"}));

    ::chmod((root + "/etc/plugsweep/module-folders").c_str(), 0666);
    folders = ModuleFolders::load(&error);
    EXPECT_FALSE(folders.has_value());
    EXPECT_EQ(error, "the setting " + root + "/etc/plugsweep/module-folders is writable by group or others");
}

TEST_F(ModuleFoldersFile, TheRemovalHonoursTheSetting)
{
    const std::string module = at("/opt/printers/Alpha/Alpha.plugin");
    makeModuleFolder(module);
    writeRegistry({{"UUID-ALPHA", "Alpha vLX", module}});
    writePlan({{"UUID-ALPHA", at("/opt/printers/Alpha")}});
    Result refused = run();
    EXPECT_EQ(refused.exitCode, 1);
    ASSERT_EQ(refused.lines.size(), 1u);
    EXPECT_NE(refused.lines[0].find("is outside the folders where modules may live"), std::string::npos);

    makeFolder(root + "/etc/plugsweep");
    writeText(root + "/etc/plugsweep/module-folders", root + "/opt/printers\n");
    const Result done = run();
    EXPECT_EQ(done.exitCode, 0) << done.lines.front();
    EXPECT_FALSE(std::filesystem::exists(module));
}

}  // namespace

namespace {

// The lock and the journal are made beside the registry: a folder where anyone may create files
// (sticky or not) would let anyone plant them.
TEST_F(ScriptHelperSandboxRefusals, RegistryFolderWhereOthersMayCreateFilesIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the folder rules for the registry apply to root";
    writeRegistry({{"id-a", "Alpha vLX", at("/Library/Printers/Tavix/A/A.plugin")}});
    writePlan({{"id-a", at("/Library/Printers/Tavix/A")}});
    ::chmod(at("/Library/Preferences").c_str(), 01777);
    const Result result = run();
    EXPECT_EQ(result.exitCode, scripthelper::kExitRegistryUnusable);
    ASSERT_FALSE(result.lines.empty());
    EXPECT_NE(result.lines[0].find("lies in a folder in which users other than its owner may create files"),
              std::string::npos)
        << result.lines[0];
    EXPECT_FALSE(std::filesystem::exists(at("/Library/Preferences/.com.tavix.KEPL2.plist.lock")));
}

}  // namespace
