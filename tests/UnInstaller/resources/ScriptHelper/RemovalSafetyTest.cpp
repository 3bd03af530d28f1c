// ScriptHelper's removal against hostile registries, plans and mounts.

#include "RemovalRunFixture.h"
#include "ScopedMount.h"

#include <filesystem>
#include <string>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::PlistFormat;

namespace {

TEST_F(RemovalRun, InstallPathWithANulInABinaryRegistryRemovesNothing)
{
    // The path check and the file walk must read the same text: "Alpha/..\0/Preferences" once
    // led to the Preferences folder beside the module folders.
    using namespace std::string_literals;
    const std::string hostile = at("/Library/Printers/Tavix/Alpha/..\0/Preferences"s);
    makeFolder(at("/Library/Printers/Tavix/Preferences"));
    writeText(at("/Library/Printers/Tavix/Preferences/keep.plist"), "keep");
    std::vector<Module> withX = modules;
    withX.push_back({"UUID-X", "X vLX Module", hostile});
    writeRegistry(withX, PlistFormat::Binary);
    writePlan({{"UUID-X", hostile.substr(0, hostile.rfind('/'))}}, PlistFormat::Binary);
    const std::string registry = registryBytes();
    const auto before = snapshot();

    const Result result = run();

    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.lines.size(), 1u) << joinLines(result.lines);
    EXPECT_NE(result.lines[0].find("holds a NUL or control character"), std::string::npos) << result.lines[0];
    EXPECT_TRUE(removedSince(before).empty());
    EXPECT_EQ(registryBytes(), registry);
}

TEST_F(RemovalRun, ModulesTheWindowDoesNotListAreRefused)
{
    const std::string other = at("/Library/Printers/Tavix/Other/Other.plugin");
    makeModuleFolder(other);
    std::vector<Module> withOthers = modules;
    withOthers.push_back({"UUID-LOWER", "Lower vlx Module", other});
    withOthers.push_back({"UUID-NONAME", "", at("/Library/Printers/Tavix/Alpha/Alpha.plugin")});
    writeRegistry(withOthers);
    writePlan({{"UUID-LOWER", at("/Library/Printers/Tavix/Other")}, {"UUID-BETA", at("/Library/Printers/Tavix/Beta")}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 1);
    ASSERT_GE(result.lines.size(), 2u) << joinLines(result.lines);
    EXPECT_EQ(result.lines[0].rfind("kept UUID-LOWER is not a module the uninstaller lists", 0), 0u)
        << result.lines[0];
    EXPECT_TRUE(fs::exists(other + "/Contents/Info.plist"));
    EXPECT_FALSE(fs::exists(beta));
    EXPECT_TRUE(registryRoot().dictionaryForKey("KEP2_KEY_MODULES")->contains("UUID-LOWER"));
}

TEST_F(RemovalRun, ControlCharactersNeverReachTheOutput)
{
    using namespace std::string_literals;
    writeRegistry(modules);
    writePlan({{"A\x1b[2JB", at("/x")}, {"C\xc2\x9b" "31mD", at("/x")}, {"G\x7fH\rI", at("/x")}, {"Caf\xc3\xa9 \xe2\x82\xac", at("/x")}},
              PlistFormat::Binary);

    const Result result = run();

    EXPECT_EQ(result.lines,
              (std::vector<std::string>{"absent A%1B[2JB -", "absent C%C2%9B31mD -", "absent G%7FH%0DI -",
                                        "absent Caf\xc3\xa9%20\xe2\x82\xac -"}));
}

TEST_F(RemovalRun, RegistryForgetsEachModuleAsSoonAsItIsGone)
{
    // A module folder that cannot be removed stops nothing else, and the registry on disk already
    // lacks the modules removed before it.
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}, {"UUID-BETA", at("/Library/Printers/Tavix/Beta")},
               {"UUID-GAMMA", at("/Library/Printers/Tavix/Gamma")}});
    // Beta cannot be removed: a file inside it is immutable-like (its folder is read-only to root
    // only with chattr, so a folder of the name the walk cannot open stands in).
    ASSERT_EQ(::chmod((beta + "/Contents").c_str(), 0), 0);
    const bool asRoot = ::geteuid() == 0;

    const Result result = run();

    const platform::PlistDictionary registryNow = registryRoot();
    const platform::PlistDictionary* left = registryNow.dictionaryForKey("KEP2_KEY_MODULES");
    ASSERT_NE(left, nullptr);
    EXPECT_FALSE(left->contains("UUID-ALPHA"));
    EXPECT_FALSE(left->contains("UUID-GAMMA"));
    EXPECT_EQ(left->contains("UUID-BETA"), !asRoot) << joinLines(result.lines);
    EXPECT_EQ(result.exitCode, asRoot ? 0 : 1) << joinLines(result.lines);
    ::chmod((beta + "/Contents").c_str(), 0755);
}

TEST_F(RemovalRun, BindMountOfTheSameFileSystemInsideIsNeverEntered)
{
    const std::string outside = dir + "/outside";
    makeFolder(outside);
    writeText(outside + "/precious", "keep");
    const std::string mountPoint = alpha + "/Contents/Bound";
    makeFolder(mountPoint);
    const ScopedMount bound(outside, mountPoint, nullptr, MS_BIND);
    if (!bound.mounted())
        GTEST_SKIP() << "cannot make a bind mount here";
    struct stat a {}, b {};
    ASSERT_EQ(::stat(outside.c_str(), &a), 0);
    ASSERT_EQ(::stat(alpha.c_str(), &b), 0);
    if (a.st_dev != b.st_dev)
        GTEST_SKIP() << "the sandbox spans file systems";
    writeRegistry(modules);
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}});

    const Result result = run();

    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.lines.size(), 1u) << joinLines(result.lines);
    EXPECT_NE(result.lines[0].find("on another mount"), std::string::npos) << result.lines[0];
    EXPECT_TRUE(fs::exists(outside + "/precious"));
    EXPECT_TRUE(fs::exists(alpha + "/Contents/Info.plist"));
}

}  // namespace
