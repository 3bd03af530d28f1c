// Plugsweep's command line against the real removal program on a sandbox machine root.

#include "UnInstaller/common/CommandLineRemoval.h"
#include "UnInstaller/common/PlugsweepTestSupport.h"
#include "platform/headless/HeadlessAuthorization.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace plugsweep_test {
namespace {

namespace fs = std::filesystem;
using Answer = platform::headless::HeadlessAuthorization::Answer;

class CommandLine : public PlugsweepTest {
protected:
    void SetUp() override
    {
        PlugsweepTest::SetUp();
        writeFile(m_root + "/etc/plugsweep/module-folders", m_root + "/Library/Printers/Tavix\n");
        for (const char* name : {"Alpha", "Beta", "Gamma"}) {
            const std::string plugin = modulePath(name);
            fs::create_directories(plugin + "/Contents");
            writeFile(plugin + "/Contents/Info.plist", "<plist/>");
        }
        writeRegistry({{"id-a", "Alpha vLX", modulePath("Alpha")},
                       {"id-b", "Beta vLX", modulePath("Beta")},
                       {"id-c", "Gamma vLX", modulePath("Gamma")},
                       {"id-x", "Outside vLX", "/opt/elsewhere/X.plugin"}});
        m_auth = std::make_unique<platform::headless::HeadlessAuthorization>();
    }
    void TearDown() override
    {
        m_auth.reset();
        PlugsweepTest::TearDown();
    }

    std::string modulePath(const std::string& name) const
    {
        return m_root + "/Library/Printers/Tavix/" + name + "/" + name + ".plugin";
    }

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
    };
    Run run(const CommandLineRemoval::Options& options, const std::string& tool = SCRIPTHELPER_PATH)
    {
        std::ostringstream out;
        std::ostringstream err;
        CommandLineRemoval commandLine(out, err, tool);
        commandLine.setDirectWhenPrivileged(false);
        Run result;
        result.status = commandLine.remove(options);
        result.out = out.str();
        result.err = err.str();
        return result;
    }
    static CommandLineRemoval::Options remove(std::vector<std::string> ids, bool json = true)
    {
        CommandLineRemoval::Options options;
        options.ids = std::move(ids);
        options.json = json;
        return options;
    }

    std::unique_ptr<platform::headless::HeadlessAuthorization> m_auth;
};

TEST_F(CommandLine, ListShowsEveryModuleAndWhetherItCanBeRemoved)
{
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLineRemoval(out, err, SCRIPTHELPER_PATH).list(true), CommandLineRemoval::kExitDone);
    const std::string json = out.str();
    EXPECT_NE(json.find("{\"id\": \"id-a\", \"name\": \"Alpha vLX\", \"installPath\": \"" + modulePath("Alpha") +
                        "\", \"removable\": true}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"id\": \"id-x\", \"name\": \"Outside vLX\", \"installPath\": \"/opt/elsewhere/X.plugin\", "
                        "\"removable\": false, \"reason\": \"it lies outside the folders"),
              std::string::npos)
        << json;

    std::ostringstream text;
    EXPECT_EQ(CommandLineRemoval(text, err, SCRIPTHELPER_PATH).list(false), 0);
    EXPECT_EQ(text.str().rfind("id-a\tAlpha vLX\t" + modulePath("Alpha") + "\tremovable\n", 0), 0u) << text.str();
    EXPECT_TRUE(err.str().empty());
}

TEST_F(CommandLine, UnreadableRegistryIsAClearLineAndItsOwnStatus)
{
    writeRegistryText("not a property list");
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLineRemoval(out, err, SCRIPTHELPER_PATH).list(true), CommandLineRemoval::kExitRegistry);
    EXPECT_EQ(err.str(), "plugsweep: the module registry " + registryPath() + " cannot be read: it is not a well-formed property list\n");
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(run(remove({"id-a"})).status, CommandLineRemoval::kExitRegistry);
}

TEST_F(CommandLine, RemoveIsIdempotentAndReportsChangeOnlyWhenSomethingWent)
{
    const Run first = run(remove({"id-a", "id-c"}));
    EXPECT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("{\"id\": \"id-a\", \"state\": \"removed\""), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("\"removed\": 2, \"wouldRemove\": 0, \"absent\": 0, \"kept\": 0, \"changed\": true"),
              std::string::npos)
        << first.out;
    EXPECT_FALSE(fs::exists(modulePath("Alpha")));
    EXPECT_FALSE(fs::exists(modulePath("Gamma")));
    EXPECT_TRUE(fs::exists(modulePath("Beta")));

    const Run second = run(remove({"id-a", "id-c"}));
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("{\"id\": \"id-a\", \"state\": \"absent\", \"known\": false"), std::string::npos)
        << second.out;
    EXPECT_NE(second.out.find("\"changed\": false"), std::string::npos) << second.out;
}

TEST_F(CommandLine, TextOutputHasOneLinePerModule)
{
    const Run result = run(remove({"id-b", "nope", "id-x"}, false));
    EXPECT_EQ(result.status, CommandLineRemoval::kExitKept);
    EXPECT_EQ(result.out, "removed id-b (Beta vLX)\n"
                          "absent nope: not in the registry\n"
                          "kept id-x (Outside vLX): it lies outside the folders where modules may be removed (" +
                              m_root + "/Library/Printers/Tavix)\n");
}

TEST_F(CommandLine, RemoveAllTakesWhatTheWindowWouldOfferAndNamesTheRest)
{
    CommandLineRemoval::Options options;
    options.all = true;
    options.json = true;
    const Run result = run(options);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("{\"id\": \"id-x\", \"state\": \"not-removable\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"removed\": 3,"), std::string::npos) << result.out;
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        EXPECT_FALSE(fs::exists(modulePath(name))) << name;
}

TEST_F(CommandLine, DryRunChangesNothing)
{
    const std::string before = *readFile(registryPath());
    CommandLineRemoval::Options options = remove({"id-a"});
    options.dryRun = true;
    const Run result = run(options);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("\"state\": \"would-remove\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"removed\": 0, \"wouldRemove\": 1"), std::string::npos) << result.out;
    EXPECT_TRUE(fs::exists(modulePath("Alpha")));
    EXPECT_EQ(*readFile(registryPath()), before);
    EXPECT_FALSE(fs::exists(planPath()));
}

struct RefusalCase {
    const char* name;
    Answer answer;
    int status;
    const char* error;
};

class CommandLineRefusals : public CommandLine, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CommandLineRefusals, RemoveNothingAndSayWhy)
{
    m_auth->queueAnswer(GetParam().answer);
    const Run result = run(remove({"id-a"}));
    EXPECT_EQ(result.status, GetParam().status);
    EXPECT_NE(result.out.find("\"state\": \"kept\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(std::string("\"error\": \"") + GetParam().error), std::string::npos) << result.out;
    EXPECT_TRUE(fs::exists(modulePath("Alpha")));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CommandLineRefusals,
    ::testing::Values(RefusalCase{"NotAuthorized", Answer::Deny, CommandLineRemoval::kExitNotAuthorized, "not authorized"},
                      RefusalCase{"Dismissed", Answer::Cancel, CommandLineRemoval::kExitNotAuthorized,
                                  "the authentication was dismissed"},
                      RefusalCase{"NoAgent", Answer::NoPrompt, CommandLineRemoval::kExitUnavailable,
                                  "no authentication agent"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(CommandLine, AnotherRemovalRunningHasItsOwnStatus)
{
    const std::string tool = installTool("echo 'total 1'\necho 'busy another removal is running'\nexit 75\n");
    const Run result = run(remove({"id-a"}), tool);
    EXPECT_EQ(result.status, CommandLineRemoval::kExitBusy);
    EXPECT_NE(result.out.find("\"reason\": \"another removal is running\""), std::string::npos) << result.out;
}

TEST_F(CommandLine, FilesAReceiptListedThatStayedAreNamedInTextAndJson)
{
    const std::string tool = installTool(
        "echo 'total 1'\necho 'module 1 1 id-a'\necho 'file-kept id-a /home/u/Print/P.plugin/Info.plist : changed since it was "
        "installed'\necho 'removed id-a /L/a/A.plugin'\necho 'end 1 0 0'\nexit 0\n");
    const Run text = run(remove({"id-a"}, false), tool);
    EXPECT_EQ(text.status, CommandLineRemoval::kExitDone);
    EXPECT_NE(text.out.find("  kept file /home/u/Print/P.plugin/Info.plist : changed since it was installed\n"),
              std::string::npos)
        << text.out;
    CommandLineRemoval::Options options = remove({"id-a"});
    options.json = true;
    const Run json = run(options, tool);
    EXPECT_NE(json.out.find("\"keptFiles\": [\"/home/u/Print/P.plugin/Info.plist : changed since it was installed\"]"),
              std::string::npos)
        << json.out;
}

TEST(JsonString, EscapesWhatJsonRequires)
{
    EXPECT_EQ(jsonString("a\"b\\c\nd\te\x01" "f\xc3\xa9"), "\"a\\\"b\\\\c\\nd\\te\\u0001f\xc3\xa9\"");
}

}  // namespace
}  // namespace plugsweep_test
