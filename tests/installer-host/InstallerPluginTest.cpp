#include "installer-host/InstallerPlugin.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/installer/InstallerPane.h"
#include "platform/installer/InstallerSection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

using installerhost::InstallerPlugin;

namespace {

const std::string kFixtures = FIXTURE_BUNDLE_DIR;

// A bundle folder in dir whose Info.plist names executableName (no executable when empty) and
// whose Contents/MacOS holds executableText when given; answers its path.
std::string makeBundle(const std::string& dir, const std::string& name, const std::string& executableName,
                       const std::optional<std::string>& executableText)
{
    const std::string path = dir + "/" + name;
    std::filesystem::create_directories(path + "/Contents/MacOS");
    platform::PlistDictionary info;
    info.set("CFBundleIdentifier", "com.example." + name);
    if (!executableName.empty())
        info.set("CFBundleExecutable", executableName);
    EXPECT_TRUE(platform::writeToFile(platform::PlistValue(info), path + "/Contents/Info.plist", false));
    if (executableText)
        std::ofstream(path + "/Contents/MacOS/" + executableName) << *executableText;
    return path;
}

class InstallerPluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/installer-plugin-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        tempDir = pattern;
        shared = std::make_shared<platform::PlistDictionary>();
        shared->set("OtherSection", "kept");
    }
    void TearDown() override { std::filesystem::remove_all(tempDir); }

    std::string tempDir;
    std::shared_ptr<platform::PlistDictionary> shared;
};

TEST_F(InstallerPluginTest, LoadsBundleAsSectionWithTheSharedDictionary)
{
    std::string error;
    std::unique_ptr<InstallerPlugin> plugin = InstallerPlugin::load(kFixtures + "/Fixture.bundle", shared, error);
    ASSERT_TRUE(plugin) << error;
    ASSERT_NE(plugin->pane(), nullptr);
    EXPECT_EQ(plugin->pane()->title(), "Fixture pane");
    EXPECT_EQ(plugin->pane()->section(), &plugin->section());
    EXPECT_EQ(plugin->section().bundle(), plugin->bundle());
    EXPECT_EQ(plugin->bundle()->bundleIdentifier(), "com.example.installer-host.Fixture");

    // The entry point wrote into the section's dictionary, which is the installation's one.
    ASSERT_NE(shared->stringForKey("FixtureLoaded"), nullptr);
    EXPECT_EQ(*shared->stringForKey("FixtureLoaded"), "YES");
    EXPECT_EQ(&plugin->section().sharedDictionary(), shared.get());
    EXPECT_EQ(*shared->stringForKey("OtherSection"), "kept");

    const auto bundles = platform::Bundle::allBundles();
    EXPECT_NE(std::find(bundles.begin(), bundles.end(), plugin->bundle()), bundles.end())
        << "a loaded plug-in joins the loaded bundles";
}

TEST_F(InstallerPluginTest, TwoSectionsShareOneDictionary)
{
    std::string error;
    auto first = InstallerPlugin::load(kFixtures + "/Fixture.bundle", shared, error);
    auto second = InstallerPlugin::load(kFixtures + "/Fixture.bundle", shared, error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_NE(&first->section(), &second->section());
    first->section().sharedDictionary().set("FromFirst", "1");
    EXPECT_NE(second->section().sharedDictionary().stringForKey("FromFirst"), nullptr);
}

struct RefusedCase {
    const char* name;
    // Makes the bundle in the temporary folder (or names a fixture) and answers its path.
    std::function<std::string(const std::string& dir)> make;
    const char* reason;
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallerPluginRefused : public InstallerPluginTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(InstallerPluginRefused, AnswersNullWithReasonNamingTheBundle)
{
    const std::string path = GetParam().make(tempDir);
    std::string error;
    EXPECT_EQ(InstallerPlugin::load(path, shared, error), nullptr);
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(shared->size(), 1u) << "a refused plug-in leaves the shared dictionary alone";
}

INSTANTIATE_TEST_SUITE_P(
    Bundles, InstallerPluginRefused,
    ::testing::Values(
        RefusedCase{"MissingFolder", [](const std::string& dir) { return dir + "/Nothing.bundle"; },
                    "no such bundle folder"},
        RefusedCase{"PlainFile",
                    [](const std::string& dir) {
                        std::ofstream(dir + "/File.bundle") << "not a folder";
                        return dir + "/File.bundle";
                    },
                    "no such bundle folder"},
        RefusedCase{"NoExecutableKey",
                    [](const std::string& dir) { return makeBundle(dir, "Bare.bundle", "", std::nullopt); },
                    "names no executable"},
        RefusedCase{"ExecutableMissing",
                    [](const std::string& dir) { return makeBundle(dir, "Gone.bundle", "Gone", std::nullopt); },
                    "cannot load"},
        RefusedCase{"ExecutableNotCode",
                    [](const std::string& dir) {
                        return makeBundle(dir, "Text.bundle", "Text", std::string("plain text"));
                    },
                    "cannot load"},
        RefusedCase{"NoEntryPoint", [](const std::string&) { return kFixtures + "/NoEntry.bundle"; },
                    "exports no InstallerPluginCreatePane"},
        RefusedCase{"EntryPointCreatesNoPane", [](const std::string&) { return kFixtures + "/NoPane.bundle"; },
                    "created no pane"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

}  // namespace
