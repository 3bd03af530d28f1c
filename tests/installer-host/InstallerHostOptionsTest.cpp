#include "installer-host/InstallerHostOptions.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

using installerhost::InstallerHostOptions;

namespace {

struct AcceptedCase {
    const char* name;
    std::vector<std::string> arguments;
    bool unattended;
    std::vector<std::string> folders;
    std::optional<std::string> sharedDictionary;
    std::vector<std::string> bundles;
};

void PrintTo(const AcceptedCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallerHostOptionsAccepted : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(InstallerHostOptionsAccepted, ReadsEveryOption)
{
    const AcceptedCase& c = GetParam();
    std::string error;
    std::optional<InstallerHostOptions> options = InstallerHostOptions::parse(c.arguments, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->unattended, c.unattended);
    EXPECT_EQ(options->folders, c.folders);
    EXPECT_EQ(options->sharedDictionaryPath, c.sharedDictionary);
    EXPECT_EQ(options->bundlePaths, c.bundles);
    EXPECT_FALSE(options->help);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, InstallerHostOptionsAccepted,
    ::testing::Values(
        AcceptedCase{"OneBundle", {"/b/Oxlade.bundle"}, false, {}, std::nullopt, {"/b/Oxlade.bundle"}},
        AcceptedCase{"FoldersInOrder",
                     {"--unattended", "--folder", "/one", "X.bundle", "--folder=/two"},
                     true,
                     {"/one", "/two"},
                     std::nullopt,
                     {"X.bundle"}},
        AcceptedCase{"SharedDictionaryBothForms",
                     {"--shared-dictionary", "/tmp/a.plist", "A.bundle", "B.bundle"},
                     false,
                     {},
                     "/tmp/a.plist",
                     {"A.bundle", "B.bundle"}},
        AcceptedCase{"SharedDictionaryEqualsForm", {"--shared-dictionary=/s.plist", "A.bundle"}, false, {}, "/s.plist",
                     {"A.bundle"}},
        AcceptedCase{"DoubleDashEndsOptions", {"--", "--unattended"}, false, {}, std::nullopt, {"--unattended"}},
        AcceptedCase{"FolderValueMayStartWithDash", {"--folder", "-odd", "A.bundle"}, false, {"-odd"}, std::nullopt,
                     {"A.bundle"}}),
    [](const ::testing::TestParamInfo<AcceptedCase>& info) { return std::string(info.param.name); });

struct RejectedCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* reasonContains;
};

void PrintTo(const RejectedCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallerHostOptionsRejected : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(InstallerHostOptionsRejected, GivesOneLineReason)
{
    const RejectedCase& c = GetParam();
    std::string error;
    EXPECT_FALSE(InstallerHostOptions::parse(c.arguments, error));
    EXPECT_NE(error.find(c.reasonContains), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, InstallerHostOptionsRejected,
    ::testing::Values(RejectedCase{"NoArguments", {}, "no plug-in bundle"},
                      RejectedCase{"OnlyOptions", {"--unattended", "--folder", "/f"}, "no plug-in bundle"},
                      RejectedCase{"UnknownOption", {"--fast", "A.bundle"}, "unknown option --fast"},
                      RejectedCase{"FolderWithoutValue", {"A.bundle", "--folder"}, "--folder needs"},
                      RejectedCase{"EmptyFolder", {"--folder=", "A.bundle"}, "--folder needs"},
                      RejectedCase{"SharedDictionaryWithoutValue", {"A.bundle", "--shared-dictionary"},
                                   "--shared-dictionary needs"}),
    [](const ::testing::TestParamInfo<RejectedCase>& info) { return std::string(info.param.name); });

TEST(InstallerHostOptions, HelpNeedsNoBundle)
{
    std::string error;
    std::optional<InstallerHostOptions> options = InstallerHostOptions::parse({"--help"}, error);
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->help);
}

TEST(InstallerHostOptions, VersionNeedsNoBundleAndWinsOverLaterArguments)
{
    std::string error;
    std::optional<InstallerHostOptions> options = InstallerHostOptions::parse({"--version", "--bogus"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->version);
    EXPECT_FALSE(options->help);
    EXPECT_EQ(InstallerHostOptions::versionLine().rfind("installer-host 1.", 0), 0u);
    const std::string line = InstallerHostOptions::noDisplayLine("DISPLAY is not set");
    EXPECT_NE(line.find("(DISPLAY is not set)"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
}

}  // namespace
