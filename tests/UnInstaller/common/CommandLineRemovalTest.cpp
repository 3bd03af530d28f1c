// Plugsweep's command line against the real removal program on a sandbox machine root.

#include "UnInstaller/common/CommandLineRemoval.h"
#include "UnInstaller/common/PlanLock.h"
#include "UnInstaller/common/PlugsweepTestSupport.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/SearchPaths.h"
#include "platform/headless/HeadlessAuthorization.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>

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
    Run run(const CommandLineRemoval::Options& options, const std::string& tool = SCRIPTHELPER_PATH,
            const ::CommandLine::Texts& texts = {})
    {
        std::ostringstream out;
        std::ostringstream err;
        CommandLineRemoval commandLine(out, err, tool);
        commandLine.setDirectWhenPrivileged(false);
        commandLine.setTexts(texts);
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
    EXPECT_EQ(err.str(), "plugsweep: the module registry " + registryPath() + " cannot be used: it is not a well-formed property list\n");
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(run(remove({"id-a"})).status, CommandLineRemoval::kExitRegistry);
}

TEST_F(CommandLine, RemoveIsIdempotentAndReportsChangeOnlyWhenSomethingWent)
{
    const Run first = run(remove({"id-a", "id-c"}));
    EXPECT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("{\"id\": \"id-a\", \"state\": \"removed\""), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("\"removed\": 2, \"wouldRemove\": 0, \"absent\": 0, \"unknown\": 0, \"kept\": 0, "
                             "\"changed\": true"),
              std::string::npos)
        << first.out;
    EXPECT_FALSE(fs::exists(modulePath("Alpha")));
    EXPECT_FALSE(fs::exists(modulePath("Gamma")));
    EXPECT_TRUE(fs::exists(modulePath("Beta")));

    // Gone from the registry: the second run cannot tell them from mistyped identifiers, and says
    // so, but stays harmless.
    const Run second = run(remove({"id-a", "id-c"}));
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("{\"id\": \"id-a\", \"state\": \"unknown\", \"known\": false"), std::string::npos)
        << second.out;
    EXPECT_NE(second.out.find("\"changed\": false"), std::string::npos) << second.out;
}

TEST_F(CommandLine, TextOutputHasOneLinePerModule)
{
    const Run result = run(remove({"id-b", "nope", "id-x"}, false));
    EXPECT_EQ(result.status, CommandLineRemoval::kExitKept);
    EXPECT_EQ(result.out, "removed id-b (Beta vLX)\n"
                          "unknown nope: not in the module registry\n"
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

struct JsonCase {
    const char* name;
    std::string text;
    std::string json;
};

class JsonStrings : public ::testing::TestWithParam<JsonCase> {};

TEST_P(JsonStrings, AreValidJsonThatNoTerminalObeys)
{
    EXPECT_EQ(jsonString(GetParam().text), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonStrings,
    ::testing::Values(
        JsonCase{"WhatJsonRequires", "a\"b\\c\nd\te\x01" "f\xc3\xa9", "\"a\\\"b\\\\c\\nd\\te\\u0001f\xc3\xa9\""},
        JsonCase{"EscapeAndDelete", "\x1b[31m\x7f", "\"\\u001b[31m\\u007f\""},
        JsonCase{"C1Controls", "a\xc2\x85" "b\xc2\x9b", "\"a\\u0085b\\u009b\""},
        JsonCase{"BidirectionalControls", "x\xe2\x80\xaey\xe2\x81\xa6z\xd8\x9c", "\"x\\u202ey\\u2066z\\u061c\""},
        JsonCase{"LineSeparator", "a\xe2\x80\xa8" "b", "\"a\\u2028b\""},
        JsonCase{"InvalidUtf8IsReplaced", "id-\xff\xfe", "\"id-\xef\xbf\xbd\xef\xbf\xbd\""},
        JsonCase{"CjkStaysReadable", "\xe5\x8d\xb0\xe5\x88\xb7", "\"\xe5\x8d\xb0\xe5\x88\xb7\""}),
    [](const ::testing::TestParamInfo<JsonCase>& info) { return std::string(info.param.name); });

TEST_F(CommandLine, ListShowsControlsInNamesAndKeepsOneRowPerModule)
{
    // Texts no XML file can hold: the registry is a binary list.
    platform::PlistDictionary entry;
    entry.set("ModuleName", "Evil\nid-z\tForged vLX\xe2\x80\xae");
    entry.set("InstallPath", modulePath("Alpha"));
    platform::PlistDictionary modules;
    modules.set("id-\x1b[2J", entry);
    platform::PlistDictionary root;
    root.set("KEP2_KEY_MODULES", modules);
    writeRegistryText(platform::binaryPropertyList(root));
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLineRemoval(out, err, SCRIPTHELPER_PATH).list(false), CommandLineRemoval::kExitDone);
    EXPECT_EQ(out.str(), "id-?[2J\tEvil?id-z?Forged vLX<U+202E>\t" + modulePath("Alpha") + "\tremovable\n");
}

TEST_F(CommandLine, MissingRegistryIsSaidAndNamedModulesAreNotCalledAbsent)
{
    fs::remove(registryPath());
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLineRemoval(out, err, SCRIPTHELPER_PATH).list(false), CommandLineRemoval::kExitDone);
    EXPECT_EQ(err.str(), "plugsweep: no modules are registered: " + registryPath() + " does not exist\n");
    EXPECT_TRUE(out.str().empty());
    const Run named = run(remove({"id-a"}, false));
    EXPECT_EQ(named.status, CommandLineRemoval::kExitNoRegistry);
    EXPECT_EQ(named.out.find("absent"), std::string::npos) << named.out;
    CommandLineRemoval::Options all;
    all.all = true;
    EXPECT_EQ(run(all).status, CommandLineRemoval::kExitDone);
}

TEST_F(CommandLine, RegistryOthersMayWriteIsRefusedByListAsByTheRemoval)
{
    ::chmod(registryPath().c_str(), 0666);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLineRemoval(out, err, SCRIPTHELPER_PATH).list(true), CommandLineRemoval::kExitRegistry);
    EXPECT_EQ(err.str(), "plugsweep: the module registry " + registryPath() + " cannot be used: it is writable by group or others\n");
    EXPECT_EQ(run(remove({"id-a"})).status, CommandLineRemoval::kExitRegistry);
}

TEST_F(CommandLine, UnusableSettingHasItsOwnStatusForListAndRemove)
{
    writeFile(m_root + "/etc/plugsweep/module-folders", "/usr/sbin\n");
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLineRemoval(out, err, SCRIPTHELPER_PATH).list(false), CommandLineRemoval::kExitSetting);
    EXPECT_NE(err.str().find("line 1: \"/usr/sbin\" lies in /usr"), std::string::npos) << err.str();
    const Run removal = run(remove({"id-a"}));
    EXPECT_EQ(removal.status, CommandLineRemoval::kExitSetting);
    EXPECT_TRUE(fs::exists(modulePath("Alpha")));
}

TEST_F(CommandLine, RunsOfOneAccountTakeTurnsWithThePlan)
{
    PlanLock::Failure failure = PlanLock::Failure::None;
    std::string error;
    std::optional<PlanLock> held = PlanLock::acquire(platform::preferencesDirectory(), 0, &failure, &error);
    ASSERT_TRUE(held) << error;
    EXPECT_FALSE(PlanLock::acquire(platform::preferencesDirectory(), 50, &failure, &error));
    EXPECT_EQ(failure, PlanLock::Failure::Busy);
    // The other run lets go a moment later: this one waits for it rather than writing over its plan.
    std::thread other([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        held.reset();
    });
    const Run result = run(remove({"id-a"}));
    other.join();
    EXPECT_EQ(result.status, CommandLineRemoval::kExitDone) << result.out << result.err;
    EXPECT_FALSE(fs::exists(modulePath("Alpha")));
}

TEST_F(CommandLine, AnUnknownIdentifierIsToldApartAndWarnedAboutButKeepsTheStatus)
{
    const Run text = run(remove({"NOPE-1234", "id-b"}, false));
    EXPECT_EQ(text.status, CommandLineRemoval::kExitDone) << text.out << text.err;
    EXPECT_EQ(text.out, "unknown NOPE-1234: not in the module registry\nremoved id-b (Beta vLX)\n");
    EXPECT_EQ(text.err, "plugsweep: warning: NOPE-1234 is not a registered module identifier; it was removed earlier "
                        "or is mistyped (plugsweep --list shows the registered ones)\n");
    EXPECT_EQ(text.out.find("absent"), std::string::npos);

    const Run json = run(remove({"NOPE-1234"}));
    EXPECT_EQ(json.status, CommandLineRemoval::kExitDone);
    EXPECT_NE(json.out.find("{\"id\": \"NOPE-1234\", \"state\": \"unknown\", \"known\": false"), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"absent\": 0, \"unknown\": 1, "), std::string::npos) << json.out;
}

TEST_F(CommandLine, StrictMakesAnUnknownIdentifierFailTheRun)
{
    CommandLineRemoval::Options options = remove({"NOPE-1234", "id-a"});
    options.strict = true;
    const Run result = run(options);
    EXPECT_EQ(result.status, CommandLineRemoval::kExitUnknown) << result.out << result.err;
    EXPECT_NE(result.out.find("\"exitStatus\": 65"), std::string::npos) << result.out;
    EXPECT_FALSE(fs::exists(modulePath("Alpha"))) << "the known module goes all the same";
    options.ids = {"id-b"};
    EXPECT_EQ(run(options).status, CommandLineRemoval::kExitDone) << "nothing unknown, nothing to fail";
}

TEST_F(CommandLine, MessagesAndReasonsComeFromTheUsersTableOneLineEach)
{
    const ::CommandLine::Texts marked = [](const std::string& key, const std::string&) {
        return key == "CL_REASON_NOT_IN_REGISTRY" ? std::string("nicht im Register")
               : key == "CL_UNKNOWN_WARNING"     ? std::string("Warnung: %@ ist unbekannt")
               : key == "CL_REGISTRY_UNUSABLE"   ? std::string("Register %@ unbrauchbar: %@")
               : key == "CL_NOTHING_REMOVED"     ? std::string("nichts entfernt")
                                                 : "<" + key + ">";
    };
    const Run unknown = run(remove({"nope"}, false), SCRIPTHELPER_PATH, marked);
    EXPECT_EQ(unknown.out, "unknown nope: nicht im Register\n") << "the first word stays, for scripts";
    EXPECT_EQ(unknown.err, "plugsweep: Warnung: nope ist unbekannt\n");
    const Run json = run(remove({"nope"}), SCRIPTHELPER_PATH, marked);
    EXPECT_NE(json.out.find("\"reason\": \"not in the module registry\""), std::string::npos)
        << "JSON stays English: " << json.out;

    writeRegistryText("not a property list");
    const Run refused = run(remove({"id-a"}), SCRIPTHELPER_PATH, marked);
    EXPECT_EQ(refused.err, "plugsweep: Register " + registryPath() +
                               " unbrauchbar: it is not a well-formed property list; nichts entfernt\n");
}

}  // namespace
}  // namespace plugsweep_test
