// The Install step against a stand-in InstallHelper: a shell script written by each test that
// prints protocol lines and ends with a status, started through the headless authorization so
// that no password and no root are needed. Every test has a home folder of its own.

#include "installer-host/HostExitStatus.h"
#include "installer-host/InstallReport.h"
#include "installer-host/InstallStep.h"

#include "platform/foundation/PropertyList.h"
#include "platform/headless/HeadlessAuthorization.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using installerhost::HostOutcome;
using installerhost::InstallReport;
using installerhost::InstallStep;
using platform::headless::HeadlessAuthorization;
using Outcome = InstallStep::Outcome;
using State = HostOutcome::State;

namespace {

const std::vector<std::string> kFolders = {"/home/u/Applications/Host A/Plug-ins",
                                           "/home/u/Applications/Host B/Plug-ins"};

class InstallStepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/install-step-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        home = dir + "/home";
        std::filesystem::create_directories(home + "/Library/Preferences");
        if (const char* previous = std::getenv("HOME"))
            previousHome = previous;
        ::setenv("HOME", home.c_str(), 1);
        helper = dir + "/InstallHelper";
        marker = dir + "/helper-ran";
    }

    void TearDown() override
    {
        ::setenv("HOME", previousHome.c_str(), 1);
        std::filesystem::remove_all(dir);
    }

    std::string planPath() const { return home + "/Library/Preferences/com.tavix.pluginInstall.plist"; }

    /// A plan as the pane writes it, one entry per folder.
    void writePlan(const std::vector<std::string>& folders)
    {
        platform::PlistArray apps;
        for (const std::string& folder : folders) {
            platform::PlistDictionary entry;
            entry.set("DeletePluginPath", folder);
            entry.set("PrintInstallPath", folder);
            entry.set("PluginType", "PS");
            apps.emplace_back(std::move(entry));
        }
        platform::PlistDictionary plan;
        plan.set("MakeLayoutInstaller", "YES");
        plan.set("InstallApps", std::move(apps));
        ASSERT_TRUE(platform::writeToFile(platform::PlistValue(plan), planPath(), false));
    }

    /// The stand-in InstallHelper: notes that it ran, prints lines, ends with status.
    void writeHelper(const std::vector<std::string>& lines, const std::string& end = "exit 0")
    {
        std::ofstream script(helper);
        script << "#!/bin/sh\ntouch '" << marker << "'\n";
        for (const std::string& line : lines)
            script << "printf '%s\\n' '" << line << "'\n";
        script << end << "\n";
        script.close();
        ASSERT_EQ(::chmod(helper.c_str(), 0755), 0);
    }

    InstallStep::Result run(std::vector<InstallStep::Progress>* progress = nullptr)
    {
        InstallStep step(helper);
        step.setDirectWhenPrivileged(false);
        if (progress)
            step.setProgressHandler([progress](const InstallStep::Progress& p) { progress->push_back(p); });
        return step.run();
    }

    bool helperRan() const { return std::filesystem::exists(marker); }

    static std::vector<State> states(const InstallStep::Result& result)
    {
        std::vector<State> list;
        for (const HostOutcome& host : result.hosts)
            list.push_back(host.state);
        return list;
    }

    std::string dir, home, previousHome, helper, marker;
    HeadlessAuthorization authorization;
};

// One run of the stand-in helper, and what the step makes of it.
struct HelperCase {
    const char* name;
    std::vector<std::string> lines;
    std::string end;
    Outcome outcome;
    std::vector<State> states;
    std::string detail;
    std::optional<int> toolStatus;
    int exitStatus;
};

void PrintTo(const HelperCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallStepRuns : public InstallStepTest, public ::testing::WithParamInterface<HelperCase> {};

TEST_P(InstallStepRuns, FollowsTheHelperToItsOutcome)
{
    const HelperCase& c = GetParam();
    writePlan(kFolders);
    writeHelper(c.lines, c.end);
    const InstallStep::Result result = run();
    EXPECT_TRUE(helperRan());
    EXPECT_EQ(result.outcome, c.outcome) << InstallReport::outcomeWord(result.outcome);
    EXPECT_EQ(states(result), c.states);
    EXPECT_EQ(result.detail, c.detail);
    EXPECT_EQ(result.toolStatus, c.toolStatus);
    EXPECT_EQ(InstallReport::exitStatus(result), c.exitStatus);
    EXPECT_EQ(authorization.prompts(), std::vector<std::string>{helper}) << "one prompt, for InstallHelper";
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, InstallStepRuns,
    ::testing::Values(
        HelperCase{"AllInstalled",
                   {"total 2", "host 1 2 m.a " + kFolders[0], "installed m.a /opt/modules/m.a",
                    "host 2 2 m.b " + kFolders[1], "updated m.b /opt/modules/m.b", "registry-updated", "end 1 1 0"},
                   "exit 0", Outcome::AllInstalled, {State::Installed, State::Updated}, "", 0, installerhost::kExitDone},
        HelperCase{"SomeSkipped",
                   {"total 2", "host 1 2 m.a " + kFolders[0], "installed m.a /opt/modules/m.a",
                    "host 2 2 m.b " + kFolders[1], "skipped m.b the folder " + kFolders[1] + " does not exist",
                    "end 1 0 1"},
                   "exit 1", Outcome::SomeSkipped, {State::Installed, State::Skipped}, "", 1,
                   installerhost::kExitSomeSkipped},
        HelperCase{"RefusedRegistry", {"refused the registry cannot be trusted"}, "exit 74", Outcome::Refused,
                   {State::NotInstalled, State::NotInstalled}, "the registry cannot be trusted", 74,
                   installerhost::kExitRegistry},
        HelperCase{"RefusedPayload", {"refused payload: no module in /usr/lib/plugsweep/payload"}, "exit 69",
                   Outcome::Refused, {State::NotInstalled, State::NotInstalled},
                   "payload: no module in /usr/lib/plugsweep/payload", 69, installerhost::kExitUnavailable},
        HelperCase{"Busy", {"busy another removal is running"}, "exit 75", Outcome::Busy,
                   {State::NotInstalled, State::NotInstalled}, "another removal is running", 75,
                   installerhost::kExitBusy},
        HelperCase{"UnexpectedStatusAfterOneHost",
                   {"total 2", "host 1 2 m.a " + kFolders[0], "installed m.a /opt/modules/m.a"}, "exit 3",
                   Outcome::Failed, {State::Installed, State::NotInstalled}, "", 3, installerhost::kExitSoftware},
        HelperCase{"KilledBySignal", {"total 2"}, "kill -9 $$", Outcome::Failed,
                   {State::NotInstalled, State::NotInstalled}, "", 128 + 9, installerhost::kExitSoftware},
        HelperCase{"LinesThatAreNoEventsAreIgnored",
                   {"hello", "installed", "host x 2 m.a /x", "host 1 2 m.a " + kFolders[0],
                    "installed m.a /opt/modules/m.a", "host 2 2 m.b " + kFolders[1],
                    "installed m.b /opt/modules/m.b", "end 2 0 0"},
                   "exit 0", Outcome::AllInstalled, {State::Installed, State::Installed}, "", 0,
                   installerhost::kExitDone}),
    [](const ::testing::TestParamInfo<HelperCase>& info) { return std::string(info.param.name); });

TEST_F(InstallStepTest, ProgressFollowsEachHostAndFoldersComeFromTheHelper)
{
    writePlan({"/plan/A", "/plan/B"});
    writeHelper({"total 2", "host 1 2 m.a " + kFolders[0], "installed m.a /m/a", "host 2 2 m.b " + kFolders[1],
                 "installed m.b /m/b", "end 2 0 0"});
    std::vector<InstallStep::Progress> progress;
    const InstallStep::Result result = run(&progress);
    ASSERT_EQ(result.hosts.size(), 2u);
    EXPECT_EQ(result.hosts[0].folder, kFolders[0]);
    EXPECT_EQ(result.hosts[1].moduleId, "m.b");

    using Phase = InstallStep::Progress::Phase;
    ASSERT_EQ(progress.size(), 4u);
    EXPECT_EQ(progress[0].phase, Phase::Authorizing);
    EXPECT_EQ(progress[1].phase, Phase::Running);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(progress[2 + i].phase, Phase::Host);
        EXPECT_EQ(progress[2 + i].index, i + 1);
        EXPECT_EQ(progress[2 + i].count, 2u);
        EXPECT_EQ(progress[2 + i].folder, kFolders[i]);
    }
}

// An answer of the prompt, and what the step makes of it; InstallHelper never runs.
struct PromptCase {
    const char* name;
    HeadlessAuthorization::Answer answer;
    Outcome outcome;
    int exitStatus;
};

void PrintTo(const PromptCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallStepPrompts : public InstallStepTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(InstallStepPrompts, NothingRunsWithoutRights)
{
    writePlan(kFolders);
    writeHelper({"end 0 0 0"});
    authorization.queueAnswer(GetParam().answer);
    const InstallStep::Result result = run();
    EXPECT_EQ(result.outcome, GetParam().outcome) << InstallReport::outcomeWord(result.outcome);
    EXPECT_EQ(InstallReport::exitStatus(result), GetParam().exitStatus);
    EXPECT_FALSE(helperRan());
    EXPECT_FALSE(result.toolStatus);
    EXPECT_EQ(authorization.prompts(), std::vector<std::string>{helper});
    ASSERT_EQ(result.hosts.size(), 2u) << "the plan's hosts, each not installed";
    EXPECT_EQ(result.hosts[1].folder, kFolders[1]);
    EXPECT_EQ(states(result), (std::vector<State>{State::NotInstalled, State::NotInstalled}));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InstallStepPrompts,
    ::testing::Values(PromptCase{"Refused", HeadlessAuthorization::Answer::Deny, Outcome::NotAuthorized,
                                 installerhost::kExitNotAuthorized},
                      PromptCase{"Dismissed", HeadlessAuthorization::Answer::Cancel, Outcome::Dismissed,
                                 installerhost::kExitNotAuthorized},
                      PromptCase{"NoAgent", HeadlessAuthorization::Answer::NoPrompt, Outcome::NoAgent,
                                 installerhost::kExitUnavailable}),
    [](const ::testing::TestParamInfo<PromptCase>& info) { return std::string(info.param.name); });

TEST_F(InstallStepTest, MissingHelperIsUnavailable)
{
    writePlan(kFolders);
    const InstallStep::Result result = run();
    EXPECT_EQ(result.outcome, Outcome::Unavailable);
    EXPECT_EQ(InstallReport::exitStatus(result), installerhost::kExitUnavailable);
    EXPECT_TRUE(authorization.executions().empty());
}

// A plan that names nothing, or none at all: nobody is asked for rights.
struct PlanCase {
    const char* name;
    std::optional<std::string> planText;
    Outcome outcome;
    int exitStatus;
};

void PrintTo(const PlanCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallStepPlans : public InstallStepTest, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(InstallStepPlans, AsksNobodyWithoutEntries)
{
    if (GetParam().planText)
        std::ofstream(planPath()) << *GetParam().planText;
    writeHelper({"end 0 0 0"});
    const InstallStep::Result result = run();
    EXPECT_EQ(result.outcome, GetParam().outcome) << InstallReport::outcomeWord(result.outcome);
    EXPECT_EQ(InstallReport::exitStatus(result), GetParam().exitStatus);
    EXPECT_EQ(result.planPath, planPath());
    EXPECT_TRUE(result.hosts.empty());
    EXPECT_TRUE(authorization.prompts().empty()) << "no password is asked for";
    EXPECT_FALSE(helperRan());
}

const std::string kEmptyPlan = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                               "<key>InstallApps</key><array/></dict></plist>\n";
const std::string kPlanWithoutList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict></dict></plist>\n";

INSTANTIATE_TEST_SUITE_P(
    Plans, InstallStepPlans,
    ::testing::Values(PlanCase{"NothingTicked", kEmptyPlan, Outcome::NothingSelected, installerhost::kExitDone},
                      PlanCase{"NoPlanFile", std::nullopt, Outcome::PlanMissing, installerhost::kExitPlanUnusable},
                      PlanCase{"NotAPropertyList", "InstallApps = ()", Outcome::PlanUnreadable,
                               installerhost::kExitPlanUnusable},
                      PlanCase{"NoInstallApps", kPlanWithoutList, Outcome::PlanUnreadable,
                               installerhost::kExitPlanUnusable}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

TEST_F(InstallStepTest, UnattendedLinesNameEachHostAndSumUp)
{
    writePlan(kFolders);
    writeHelper({"host 1 2 m.a " + kFolders[0], "installed m.a /m/a", "host 2 2 m.b " + kFolders[1],
                 "skipped m.b the folder is on another mount", "end 1 0 1"},
                "exit 1");
    const InstallStep::Result result = run();
    std::ostringstream out, err;
    InstallReport::print(result, out, err, "oxlade-installer");
    EXPECT_EQ(out.str(), "install: installed " + kFolders[0] + "\n" + "install: skipped " + kFolders[1] +
                             ": the folder is on another mount\n" +
                             "install: installed into 1 of 2 host applications; 1 skipped\n");
    EXPECT_EQ(err.str(), "");
}

TEST(InstallStepHelperPath, EnvironmentNamesTheHelperInBuildsWithTestSeams)
{
    ::unsetenv("PLATFORM_INSTALL_HELPER");
    const std::string built = InstallStep::defaultHelperPath();
    EXPECT_EQ(built.substr(built.rfind('/') + 1), "InstallHelper");
    ::setenv("PLATFORM_INSTALL_HELPER", "/tmp/fake/InstallHelper", 1);
    EXPECT_EQ(InstallStep::defaultHelperPath(), PLATFORM_TEST_SEAMS ? "/tmp/fake/InstallHelper" : built);
    ::unsetenv("PLATFORM_INSTALL_HELPER");
}

}  // namespace
