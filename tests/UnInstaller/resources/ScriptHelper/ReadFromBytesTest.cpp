// ScriptHelper's plan and registry read from bytes, as the file readers and the fuzz targets
// read them: what each accepts, and the reason it gives for what it refuses.
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/UninstallPlan.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

std::string plist(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

struct RegistryCase {
    const char* name;
    std::string bytes;
    std::string error;                 // empty when the registry reads
    std::vector<std::string> modules;  // uuid=path, or uuid= when it has no path
};

void PrintTo(const RegistryCase& c, std::ostream* out)
{
    *out << c.name;
}

class RegistryFromBytes : public ::testing::TestWithParam<RegistryCase> {};

TEST_P(RegistryFromBytes, ReadsOrGivesItsReason)
{
    const RegistryCase& c = GetParam();
    std::string error;
    const auto registry = scripthelper::ModuleRegistry::fromBytes(c.bytes, &error);
    ASSERT_EQ(registry.has_value(), c.error.empty()) << error;
    EXPECT_EQ(error, c.error);
    if (!registry)
        return;
    std::vector<std::string> modules;
    for (const auto& module : registry->modules())
        modules.push_back(module.uuid + "=" + module.installPath.value_or(""));
    EXPECT_EQ(modules, c.modules);
}

const char* const kNotADictionary = "is not a property list with a dictionary at its root";

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryFromBytes,
    ::testing::Values(
        RegistryCase{"Empty", "", kNotADictionary, {}},
        RegistryCase{"Garbage", "not a property list", kNotADictionary, {}},
        RegistryCase{"ArrayRoot", plist("<array/>"), kNotADictionary, {}},
        RegistryCase{"NoModules", plist("<dict><key>Other</key><dict/></dict>"),
                     "has no KEP2_KEY_MODULES dictionary", {}},
        RegistryCase{"ModulesNotADictionary", plist("<dict><key>KEP2_KEY_MODULES</key><array/></dict>"),
                     "has no KEP2_KEY_MODULES dictionary", {}},
        RegistryCase{"ModulesInOrderWithOrWithoutPath",
                     plist("<dict><key>KEP2_KEY_MODULES</key><dict>"
                           "<key>B</key><dict><key>InstallPath</key><string>/b</string></dict>"
                           "<key>A</key><string>not an entry</string>"
                           "<key>C</key><dict><key>InstallPath</key><integer>3</integer></dict>"
                           "</dict></dict>"),
                     "", {"B=/b", "A=", "C="}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlanFromBytes, KeepsEveryEntryAndOnlyItsStringFields)
{
    std::string error;
    const auto plan = scripthelper::UninstallPlan::fromBytes(
        plist("<dict><key>UnInstallApps</key><array>"
              "<dict><key>UUID</key><string>U1</string><key>UnInstallPath</key><string>/p</string></dict>"
              "<string>not an entry</string>"
              "<dict><key>UUID</key><integer>2</integer></dict>"
              "</array></dict>"),
        &error);
    ASSERT_TRUE(plan) << error;
    ASSERT_EQ(plan->entries().size(), 3u);
    EXPECT_EQ(plan->entries()[0].uuid, "U1");
    EXPECT_EQ(plan->entries()[0].unInstallPath, "/p");
    EXPECT_FALSE(plan->entries()[1].uuid);
    EXPECT_FALSE(plan->entries()[2].uuid);
    EXPECT_FALSE(plan->entries()[2].unInstallPath);
}

TEST(PlanFromBytes, RefusesWhatIsNotAPlanWithItsReason)
{
    std::string error;
    EXPECT_FALSE(scripthelper::UninstallPlan::fromBytes("", &error));
    EXPECT_EQ(error, kNotADictionary);
    EXPECT_FALSE(scripthelper::UninstallPlan::fromBytes(plist("<dict><key>UnInstallApps</key><dict/></dict>"), &error));
    EXPECT_EQ(error, "has no UnInstallApps list");
}

}  // namespace

TEST(PlanFromBytes, BuildsNoEntryOfAListLongerThanAllowed)
{
    const std::string entry = "<dict><key>UUID</key><string>U</string><key>UnInstallPath</key><string>/p</string>"
                              "<key>PKG</key><string>dropped</string></dict>";
    std::string entries;
    for (int i = 0; i < 5; ++i)
        entries += entry;
    const std::string bytes = plist("<dict><key>UnInstallApps</key><array>" + entries + "</array></dict>");
    std::string error;
    const auto longer = scripthelper::UninstallPlan::fromBytes(bytes, &error, 4);
    ASSERT_TRUE(longer) << error;
    EXPECT_EQ(longer->listed(), 5u);
    EXPECT_TRUE(longer->entries().empty());
    const auto within = scripthelper::UninstallPlan::fromBytes(bytes, &error, 5);
    ASSERT_TRUE(within) << error;
    EXPECT_EQ(within->listed(), 5u);
    ASSERT_EQ(within->entries().size(), 5u);
    EXPECT_EQ(within->entries().back().uuid, "U");
    EXPECT_EQ(within->entries().back().unInstallPath, "/p");
}
