#include "UnInstaller/common/PlugsweepTestSupport.h"
#include "UnInstaller/common/RemovalSession.h"
#include "platform/headless/HeadlessAuthorization.h"
#include "platform/appkit/Application.h"
#include "platform/security/Authorization.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace plugsweep_test {
namespace {

using Answer = platform::headless::HeadlessAuthorization::Answer;
using platform::AlertKind;
using platform::headless::HeadlessEvent;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

bool hasUnreapedChildren()
{
    errno = 0;
    return !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
}

/// A removal run against the in-memory prompt, with shell scripts standing in for ScriptHelper.
class RemovalRun : public PlugsweepTest {
protected:
    void SetUp() override
    {
        PlugsweepTest::SetUp();
        writeRegistry({{"id-a", "Alpha vLX", "/L/Alpha/Alpha.plugin"},
                       {"id-b", "Beta vLX", "/L/Beta/Beta.plugin"},
                       {"id-c", "Gamma vLX", "/L/Gamma/Gamma.plugin"}});
        m_auth = std::make_unique<platform::headless::HeadlessAuthorization>();
        start();
        ASSERT_TRUE(m_table->userToggle(0));
        ASSERT_TRUE(m_table->userToggle(2));
    }

    void TearDown() override
    {
        m_auth.reset();
        PlugsweepTest::TearDown();
    }

    void expectCompletion(const std::string& message = "")
    {
        ASSERT_EQ(alerts().size(), 1u);
        EXPECT_EQ(alerts()[0].alertKind, AlertKind::Informational);
        EXPECT_EQ(alerts()[0].detail, "txt:STEXT_END");
        EXPECT_EQ(alerts()[0].message, message);
        EXPECT_EQ(alerts()[0].button, "txt:STEXT_OK_BUTTON");
        ASSERT_FALSE(m_ui->events().empty());
        EXPECT_EQ(m_ui->events().back().kind, HeadlessEvent::Kind::Terminate);
        EXPECT_TRUE(terminated());
        EXPECT_FALSE(m_ui->busy());
        EXPECT_EQ(m_ui->busyCount(), 1u);
        EXPECT_FALSE(hasUnreapedChildren());
    }

    /// The window as it was, with the alerts named shown (none for a dismissed prompt).
    void expectNothingChanged(const Strings& alertTitles = {})
    {
        EXPECT_EQ(checks(), (Strings{"CHK_ON", "CHK_OFF", "CHK_ON"}));
        EXPECT_TRUE(m_uninstallButton->isEnabled());
        EXPECT_FALSE(terminated());
        Strings shown;
        for (const HeadlessEvent& alert : alerts()) {
            shown.push_back(alert.detail);
            EXPECT_EQ(alert.alertKind, AlertKind::Critical) << alert.detail;
        }
        EXPECT_EQ(shown, alertTitles);
        EXPECT_EQ(m_ui->events().size(), alertTitles.size());
        EXPECT_TRUE(m_auth->executions().empty());
        EXPECT_EQ(m_ui->busyCount(), 0u);
        // Each refusal told to the user is logged once, naming it; a dismissed prompt logs nothing.
        ASSERT_EQ(m_log.size(), alertTitles.size()) << (m_log.empty() ? "" : m_log[0]);
        for (const std::string& line : m_log)
            EXPECT_EQ(line.rfind("Administrator rights ", 0), 0u) << line;
    }

    std::unique_ptr<platform::headless::HeadlessAuthorization> m_auth;
};

TEST_F(RemovalRun, GrantedRunWritesThePlanBeforeTheToolStartsAndEndsWithTheAlert)
{
    installTool("cp \"$HOME/Library/Preferences/com.tavix.pluginUnInstall.plist\" \"$HOME/plan-seen\"\n"
                "echo removing\necho done\n");
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_auth->prompts(), (Strings{toolPath()}));
    EXPECT_EQ(m_auth->executions(), (Strings{toolPath()}));
    const std::optional<std::string> seen = readFile(m_home + "/plan-seen");
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen, readFile(planPath()));
    std::optional<platform::PlistArray> entries = readPlanEntries();
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ(*(*entries)[0].asDictionary()->stringForKey("UUID"), "id-a");
    EXPECT_EQ(*(*entries)[1].asDictionary()->stringForKey("UUID"), "id-c");
    expectCompletion();
}

TEST_F(RemovalRun, CancelledPromptWritesNoPlanKeepsTheTicksAndTheButtonAsksAgain)
{
    installTool("exit 0\n");
    m_auth->queueAnswer(Answer::Cancel);
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_auth->prompts(), (Strings{toolPath()}));
    EXPECT_FALSE(fs::exists(planPath()));
    expectNothingChanged();

    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_auth->prompts(), (Strings{toolPath(), toolPath()}));
    EXPECT_EQ(readPlanEntries()->size(), 2u);
    expectCompletion();
}

TEST_F(RemovalRun, DeniedPromptLeavesAnEarlierPlanAsItWas)
{
    installTool("exit 0\n");
    writeFile(planPath(), "earlier plan");
    m_auth->queueAnswer(Answer::Deny);
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(readFile(planPath()), "earlier plan");
    expectNothingChanged({"txt:STEXT_NOT_AUTHORIZED"});
    EXPECT_EQ(alerts()[0].message, "txt:STEXT_NOT_AUTHORIZED_MESSAGE");
    EXPECT_EQ(m_log, (Strings{"Administrator rights were refused: not authorized."}));
}

TEST_F(RemovalRun, MissingToolFailsOnlyAtItsStartWithThePlanWritten)
{
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_auth->prompts(), (Strings{""}));
    EXPECT_TRUE(m_auth->executions().empty());
    EXPECT_EQ(readPlanEntries()->size(), 2u);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "txt:STEXT_NOT_STARTED");
    EXPECT_EQ(alerts()[0].alertKind, AlertKind::Critical);
    EXPECT_TRUE(terminated());
    EXPECT_EQ(platform::Application::sharedApplication().exitStatus(), 1);
    EXPECT_FALSE(m_ui->busy());
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log[0].rfind("ScriptHelper could not be started", 0), 0u) << m_log[0];
}

TEST_F(RemovalRun, ToolThatCannotBeRunIsSaidAndEndsWithAFailureStatus)
{
    installTool("exit 0\n", 0644);
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(readPlanEntries()->size(), 2u);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "txt:STEXT_NOT_STARTED");
    EXPECT_TRUE(terminated());
    EXPECT_EQ(platform::Application::sharedApplication().exitStatus(), 1);
    EXPECT_FALSE(m_ui->busy());
}

TEST_F(RemovalRun, SilentToolStillGivesTheCompletionAlert)
{
    installTool("exit 0\n");
    ASSERT_TRUE(m_uninstallButton->click());
    expectCompletion();
}

/// One way a removal program can end, and what the window then does.
struct EndingCase {
    const char* name;
    const char* body;
    const char* title;
    bool quits;
};

class RemovalEndings : public RemovalRun, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(RemovalEndings, AreDecidedByTheStatusAndToldApart)
{
    // Decided by the status: text that looks like success changes nothing.
    const EndingCase& c = GetParam();
    installTool(c.body);
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, c.title);
    EXPECT_EQ(terminated(), c.quits);
    if (!c.quits) {
        // Back to the list, read anew and unticked.
        EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
        EXPECT_FALSE(m_uninstallButton->isEnabled());
    }
    EXPECT_FALSE(hasUnreapedChildren());
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, RemovalEndings,
    ::testing::Values(
        EndingCase{"AllGone", "echo 'kept id-a everything failed'\nexit 0\n", "txt:STEXT_END", true},
        EndingCase{"SomeKept", "echo 'removed id-a /L/Alpha/Alpha.plugin'\necho 'kept id-c no'\nexit 1\n",
                   "txt:STEXT_SOME_NOT_REMOVED", true},
        EndingCase{"AllKept", "echo 'kept id-a no'\necho 'kept id-c no'\nexit 1\n", "txt:STEXT_NONE_REMOVED_OTHER",
                   true},
        EndingCase{"AnotherRemovalRuns", "echo 'busy another removal is running'\nexit 75\n", "txt:STEXT_BUSY", false},
        EndingCase{"RegistryRefused", "echo 'refused registry /x is missing'\nexit 74\n", "txt:STEXT_REMOVAL_FAILED",
                   false},
        EndingCase{"StatusOneWithoutKeptLines", "echo 'removed all'\nexit 1\n", "txt:STEXT_REMOVAL_FAILED", false},
        EndingCase{"KilledBySignal", "kill -TERM $$\n", "txt:STEXT_REMOVAL_FAILED", false}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return std::string(info.param.name); });

TEST_F(RemovalRun, KeptModulesAreCountedAndNamedAndTheUserMayGoBackToTheList)
{
    writeFile(m_app + "/Contents/Resources/English.lproj/Localizable.strings",
              "\"STEXT_REMOVED_ONE\" = \"%@ module was removed.\";\n"
              "\"STEXT_REMOVED_OTHER\" = \"%@ modules were removed.\";\n"
              "\"STEXT_KEPT_ONE\" = \"%@ module could not be removed:\";\n"
              "\"STEXT_KEPT_OTHER\" = \"%@ modules could not be removed:\";\n"
              "\"STEXT_LOG_HINT\" = \"See the log.\";\n");
    // The stand-in removes Alpha from the registry and keeps Gamma.
    const std::string registry = m_root + "/Library/Preferences/com.tavix.KEPL2.plist";
    installTool("sed -i '/id-a/,/<\\/dict>/d' '" + registry + "'\n"
                "echo 'total 2'\necho 'module 1 2 id-a'\necho 'removed id-a /L/Alpha/Alpha.plugin'\n"
                "echo 'module 2 2 id-c'\necho 'kept id-c is outside'\necho 'end 1 0 1'\nexit 1\n");
    m_ui->queueAlertAnswer(0);
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].message, "1 module was removed.\n1 module could not be removed:\n• Gamma vLX\n\nSee the log.");
    EXPECT_EQ(alerts()[0].alternate, "STEXT_BACK_BUTTON");
    EXPECT_FALSE(terminated());
    EXPECT_EQ(names(), (Strings{"Beta vLX", "Gamma vLX"}));
    // Each module as it starts, then the count at the end.
    EXPECT_EQ(m_ui->progressUpdates(), (Strings{"0/2 STEXT_PROGRESS", "1/2 STEXT_PROGRESS", "2/2 STEXT_PROGRESS"}));
}

TEST_F(RemovalRun, FilesThatStayedAreNamedInTheCompletionAlert)
{
    writeFile(m_app + "/Contents/Resources/English.lproj/Localizable.strings",
              "\"STEXT_REMOVED_ONE\" = \"%@ module was removed.\";\n"
              "\"STEXT_FILES_KEPT_ONE\" = \"%@ file was kept:\";\n"
              "\"STEXT_FILES_KEPT_OTHER\" = \"%@ files were kept:\";\n");
    installTool("echo 'total 1'\necho 'module 1 1 id-a'\n"
                "echo 'file-kept id-a /home/u/Host/P.plugin/Info.plist : changed since it was installed'\n"
                "echo 'file-kept id-a /home/u/Host : is not empty, so it stays'\n"
                "echo 'removed id-a /L/Alpha/Alpha.plugin'\necho 'end 1 0 0'\nexit 0\n");
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].message, "1 module was removed.\n\n2 files were kept:\n"
                                   "• /home/u/Host/P.plugin/Info.plist : changed since it was installed\n"
                                   "• /home/u/Host : is not empty, so it stays");
    EXPECT_TRUE(terminated());
}

TEST_F(RemovalRun, OKAfterKeptModulesEndsTheProgramWithAFailureStatus)
{
    installTool("echo 'kept id-a no'\necho 'kept id-c no'\nexit 1\n");
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_TRUE(terminated());
    EXPECT_EQ(platform::Application::sharedApplication().exitStatus(), 1);
}

TEST_F(RemovalRun, StopAsksTheProgramToStopAndTheWindowKeepsHandlingEvents)
{
    m_ui->stopProgressAfter(1);
    installTool("trap 'echo \"kept id-c the removal was stopped before this module\"; exit 1' TERM\n"
                "echo 'total 2'\necho 'module 1 2 id-a'\necho 'removed id-a /L/Alpha/Alpha.plugin'\n"
                "i=0; while [ $i -lt 200 ]; do sleep 0.02; i=$((i+1)); done\nexit 0\n");
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "txt:STEXT_STOPPED");
    EXPECT_GT(m_ui->waits(), 0u);
    ASSERT_FALSE(m_ui->progressUpdates().empty());
    EXPECT_EQ(m_ui->progressUpdates().back(), "stopping txt:STEXT_STOPPING");
}

TEST_F(RemovalRun, ToolLinesGoToTheSystemLog)
{
    installTool("echo 'removed id-a /L/Alpha/Alpha.plugin'\necho 'kept id-c is outside'\nexit 1\n");
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_log, (Strings{"ScriptHelper: removed id-a /L/Alpha/Alpha.plugin", "ScriptHelper: kept id-c is outside",
                              "ScriptHelper ended with status 1"}));
}

TEST_F(RemovalRun, PromptThatCannotBeShownIsSaidAndTheWindowStays)
{
    m_auth->queueAnswer(Answer::NoPrompt);
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "txt:STEXT_NO_AGENT");
    EXPECT_EQ(alerts()[0].message, "txt:STEXT_NO_AGENT_MESSAGE");
    EXPECT_EQ(alerts()[0].alertKind, AlertKind::Critical);
    EXPECT_FALSE(terminated());
    EXPECT_FALSE(fs::exists(planPath()));
    EXPECT_TRUE(m_auth->executions().empty());
    EXPECT_EQ(checks(), (Strings{"CHK_ON", "CHK_OFF", "CHK_ON"}));
}

TEST_F(RemovalRun, OutputWithLinesLongerThanTheBufferIsReadToItsEnd)
{
    // Far more than a pipe holds, so a reader that stopped early would leave the tool unfinished.
    installTool("i=0\nwhile [ $i -lt 120 ]; do printf '%3000s\\n' \"line$i\"; i=$((i+1)); done\n"
                "printf 'no newline at the end'\n"
                "touch \"$HOME/finished\"\n");
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_TRUE(fs::exists(m_home + "/finished"));
    expectCompletion();
}

TEST_F(RemovalRun, NameWithoutBlankTerminatesBeforeTheToolAndKeepsThePlanFile)
{
    installTool("touch \"$HOME/ran\"\n");
    writeFile(planPath(), "earlier plan");
    m_controller->setM_arrayName(Controller::StringArray{"Alpha vLX", "Beta vLX", "GammavLX"});
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(readFile(planPath()), "earlier plan");
    EXPECT_FALSE(fs::exists(m_home + "/ran"));
    EXPECT_TRUE(m_auth->executions().empty());
    EXPECT_TRUE(alerts().empty());
    EXPECT_TRUE(m_log.empty());
    EXPECT_TRUE(terminated());
}

/// What the user answers the alert of a plan that could not be written.
struct UnwritablePlanCase {
    const char* name;
    platform::NSInteger answer;
    bool quits;
};

class UnwritablePlan : public RemovalRun, public ::testing::WithParamInterface<UnwritablePlanCase> {};

TEST_P(UnwritablePlan, IsSaidWithItsReasonAndOffersTheListToTryAgain)
{
    writeFile(m_app + "/Contents/Resources/English.lproj/Localizable.strings",
              "\"STEXT_PLAN_NOT_SAVED\" = \"Not saved.\";\n"
              "\"STEXT_PLAN_NOT_SAVED_MESSAGE\" = \"As %@: %@.\";\n"
              "\"STEXT_REASON_FOLDER_IN_THE_WAY\" = \"a folder is in the way\";\n"
              "\"STEXT_BACK_BUTTON\" = \"Back to List\";\n\"STEXT_QUIT_BUTTON\" = \"Quit\";\n");
    installTool("touch \"$HOME/ran\"\n");
    fs::create_directories(planPath());
    m_ui->queueAlertAnswer(GetParam().answer);
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_log, (Strings{"データの保存に失敗しました。"}));
    EXPECT_FALSE(fs::exists(m_home + "/ran"));
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "Not saved.");
    EXPECT_EQ(alerts()[0].message, "As " + planPath() + ": a folder is in the way.");
    EXPECT_EQ(alerts()[0].alertKind, AlertKind::Critical);
    EXPECT_EQ(alerts()[0].button, "Back to List") << "trying again is the default";
    EXPECT_EQ(alerts()[0].alternate, "Quit");
    EXPECT_EQ(terminated(), GetParam().quits);
    if (GetParam().quits) {
        EXPECT_EQ(platform::Application::sharedApplication().exitStatus(), 1);
    } else {
        // The list as it was: once the folder is out of the way, Uninstall tries again.
        EXPECT_EQ(checks(), (Strings{"CHK_ON", "CHK_OFF", "CHK_ON"}));
        EXPECT_TRUE(m_uninstallButton->isEnabled());
        fs::remove(planPath());
        ASSERT_TRUE(m_uninstallButton->click());
        EXPECT_TRUE(fs::exists(m_home + "/ran"));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, UnwritablePlan,
                         ::testing::Values(UnwritablePlanCase{"BackToTheList", 1, false},
                                           UnwritablePlanCase{"Quit", 0, true}),
                         [](const ::testing::TestParamInfo<UnwritablePlanCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(RemovalRun, OneSelectedModuleThatCouldNotBeRemovedIsSaidInTheSingular)
{
    ASSERT_TRUE(m_table->userToggle(2));
    installTool("echo 'kept id-a no'\nexit 1\n");
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "txt:STEXT_NONE_REMOVED_ONE");
}

TEST_F(RemovalRun, AfterStopTheDialogSaysStoppingUntilTheRunEnds)
{
    // The program passes over the modules it did not come to, one "module" line each.
    m_ui->stopProgressAfter(1);
    installTool("trap 'for m in id-b id-c; do echo \"module 9 9 $m\"; "
                "echo \"kept $m the removal was stopped before this module\"; done; exit 1' TERM\n"
                "echo 'total 3'\necho 'module 1 3 id-a'\necho 'removed id-a /L/Alpha/Alpha.plugin'\n"
                "i=0; while [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done\nexit 0\n");
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_ui->progressUpdates(), (Strings{"0/3 txt:STEXT_PROGRESS", "stopping txt:STEXT_STOPPING"}));
}

/// What the user answers the alert of a stop they asked for.
struct StoppedCase {
    const char* name;
    platform::NSInteger answer;
    bool quits;
};

class StoppedRun : public RemovalRun, public ::testing::WithParamInterface<StoppedCase> {};

TEST_P(StoppedRun, IsInformationalTellsNotTriedFromKeptAndOffersTheListFirst)
{
    writeFile(m_app + "/Contents/Resources/English.lproj/Localizable.strings",
              "\"STEXT_STOPPED\" = \"Stopped.\";\n\"STEXT_REMOVED_ONE\" = \"%@ removed.\";\n"
              "\"STEXT_KEPT_ONE\" = \"%@ could not be removed:\";\n"
              "\"STEXT_NOT_TRIED_ONE\" = \"%@ not tried:\";\n\"STEXT_NOT_TRIED_OTHER\" = \"%@ not tried:\";\n"
              "\"STEXT_LOG_HINT\" = \"See the log.\";\n"
              "\"STEXT_BACK_BUTTON\" = \"Back to List\";\n\"STEXT_QUIT_BUTTON\" = \"Quit\";\n");
    m_ui->stopProgressAfter(1);
    m_ui->queueAlertAnswer(GetParam().answer);
    installTool("trap 'echo \"kept id-b it changed\"; "
                "echo \"kept id-c the removal was stopped before this module\"; exit 1' TERM\n"
                "echo 'total 3'\necho 'module 1 3 id-a'\necho 'removed id-a /L/Alpha/Alpha.plugin'\n"
                "i=0; while [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done\nexit 0\n");
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "Stopped.");
    EXPECT_EQ(alerts()[0].alertKind, AlertKind::Informational) << "the user asked for it";
    EXPECT_EQ(alerts()[0].message,
              "1 removed.\n1 could not be removed:\n• Beta vLX\n1 not tried:\n• Gamma vLX\n\nSee the log.");
    EXPECT_EQ(alerts()[0].button, "Back to List");
    EXPECT_EQ(alerts()[0].alternate, "Quit");
    EXPECT_EQ(terminated(), GetParam().quits);
    if (GetParam().quits) {
        EXPECT_EQ(platform::Application::sharedApplication().exitStatus(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, StoppedRun,
                         ::testing::Values(StoppedCase{"BackToTheListByDefault", 1, false},
                                           StoppedCase{"Quit", 0, true}),
                         [](const ::testing::TestParamInfo<StoppedCase>& info) { return std::string(info.param.name); });

/// A removal program's output that the test writes only when the session's clock says so.
class WaitingSession : public PlugsweepTest {
protected:
    void SetUp() override
    {
        PlugsweepTest::SetUp();
        ASSERT_EQ(::pipe(m_pipe), 0);
        m_stream = ::fdopen(m_pipe[0], "r");
        ASSERT_NE(m_stream, nullptr);
    }
    void TearDown() override
    {
        if (m_pipe[1] >= 0)
            ::close(m_pipe[1]);
        if (m_stream)
            std::fclose(m_stream);
        PlugsweepTest::TearDown();
    }

    /// Writes lines for the session to read.
    void say(const std::string& lines)
    {
        ASSERT_EQ(::write(m_pipe[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    }
    void end()
    {
        ::close(m_pipe[1]);
        m_pipe[1] = -1;
    }

    bool toldWaiting() const
    {
        const Strings& shown = m_ui->progressUpdates();
        return std::find(shown.begin(), shown.end(), "0/0 waiting") != shown.end();
    }

    /// Follows a run whose early lines are there from the start and whose late lines come once
    /// the panel says that the run waits, or at once when the session is not to wait; its clock
    /// goes on by step at each reading.
    Strings follow(std::chrono::milliseconds step, const std::string& early, const std::string& late,
                   bool waits = true)
    {
        RemovalSession::Texts texts;
        texts.waiting = "waiting";
        texts.progress = [](std::size_t index, std::size_t total, const std::string& name) {
            return std::to_string(index) + " of " + std::to_string(total) + " " + name;
        };
        RemovalSession session("ScriptHelper", nullptr, texts);
        session.setLogLines(false);
        say(early);
        if (!waits) {
            say(late);
            end();
        }
        const auto start = std::chrono::steady_clock::now();
        auto elapsed = std::chrono::milliseconds(0);
        session.setClock([&] {
            // Read on the session's own thread, after each look at the output.
            if (m_pipe[1] >= 0 && toldWaiting()) {
                say(late);
                end();
            }
            const auto now = start + elapsed;
            elapsed += step;
            return now;
        });
        session.follow(nullptr, m_stream);
        return m_ui->progressUpdates();
    }

    int m_pipe[2] = {-1, -1};
    std::FILE* m_stream = nullptr;
};

const std::string kOneModuleRun = "total 1\nmodule 1 1 id-a\nremoved id-a /L/Alpha/Alpha.plugin\nend 1 0 0\n";

TEST_F(WaitingSession, ARunWithoutACountAfterASecondIsSaidToWaitForAnotherRemoval)
{
    EXPECT_EQ(follow(std::chrono::milliseconds(250), "", kOneModuleRun),
              (Strings{"0/0 waiting", "0/1 1 of 1 id-a", "1/1 1 of 1 id-a"}));
}

TEST_F(WaitingSession, ARunThatCountsAtOnceIsNotSaidToWait)
{
    EXPECT_EQ(follow(std::chrono::milliseconds(0), "", kOneModuleRun, false),
              (Strings{"0/1 1 of 1 id-a", "1/1 1 of 1 id-a"}));
}

TEST_F(WaitingSession, TheProgramMaySayThatItWaits)
{
    // The clock stands still: the program's own line is what tells.
    EXPECT_EQ(follow(std::chrono::milliseconds(0), "waiting another removal holds the lock\n", kOneModuleRun),
              (Strings{"0/0 waiting", "0/1 1 of 1 id-a", "1/1 1 of 1 id-a"}));
}

TEST_F(RemovalRun, PolkitThatCannotBeAskedIsSaid)
{
    platform::setAuthorizationBackendFactory([] {
        struct NoPolkit : platform::AuthorizationBackend {
            platform::OSStatus acquire(const std::string&, bool) override { return platform::errAuthorizationInternal; }
            platform::OSStatus execute(const std::string&, std::FILE**) override
            {
                return platform::errAuthorizationDenied;
            }
            void release() override {}
        };
        return std::unique_ptr<platform::AuthorizationBackend>(new NoPolkit);
    });
    ASSERT_TRUE(m_uninstallButton->click());
    platform::setAuthorizationBackendFactory({});
    expectNothingChanged({"txt:STEXT_NO_POLKIT"});
}

TEST_F(RemovalRun, DisabledButtonStartsNothing)
{
    installTool("exit 0\n");
    ASSERT_TRUE(m_table->userToggle(0));
    ASSERT_TRUE(m_table->userToggle(2));
    EXPECT_FALSE(m_uninstallButton->click());
    EXPECT_TRUE(m_auth->prompts().empty());
}


// The order of the platform calls, seen from an authorization backend that records them.

struct Journal {
    std::vector<std::string> calls;
    std::vector<bool> busyWhileReading;
    std::string output;
    std::size_t offset = 0;
    platform::OSStatus acquireStatus = platform::errAuthorizationSuccess;
    std::function<std::string()> snapshot;  // the state of the run, for each entry
    platform::headless::HeadlessUi* ui = nullptr;
};

ssize_t readJournal(void* cookie, char* buffer, size_t size)
{
    auto* journal = static_cast<Journal*>(cookie);
    const std::size_t n = std::min(size, journal->output.size() - journal->offset);
    journal->output.copy(buffer, n, journal->offset);
    journal->offset += n;
    journal->busyWhileReading.push_back(journal->ui->busy());
    return static_cast<ssize_t>(n);
}

int closeJournal(void* cookie)
{
    auto* journal = static_cast<Journal*>(cookie);
    journal->calls.push_back("close " + journal->snapshot());
    return 0;
}

class RecordingBackend : public platform::AuthorizationBackend {
public:
    explicit RecordingBackend(Journal& journal) : m_journal(journal) {}
    ~RecordingBackend() override { m_journal.calls.push_back("destroy"); }

    platform::OSStatus acquire(const std::string& toolPath, bool interactionAllowed) override
    {
        m_journal.calls.push_back("acquire " + toolPath + (interactionAllowed ? " interactive " : " silent ") +
                                  m_journal.snapshot());
        return m_journal.acquireStatus;
    }
    platform::OSStatus execute(const std::string& toolPath, std::FILE** stream) override
    {
        m_journal.calls.push_back("execute " + toolPath + " " + m_journal.snapshot());
        cookie_io_functions_t functions{};
        functions.read = readJournal;
        functions.close = closeJournal;
        *stream = fopencookie(&m_journal, "r", functions);
        return *stream ? platform::errAuthorizationSuccess : platform::errAuthorizationToolExecuteFailure;
    }
    platform::OSStatus exitStatus(int* status) override
    {
        m_journal.calls.push_back("status " + m_journal.snapshot());
        *status = 0;
        return platform::errAuthorizationSuccess;
    }
    void release() override { m_journal.calls.push_back("release " + m_journal.snapshot()); }

private:
    Journal& m_journal;
};

class RemovalOrder : public PlugsweepTest {
protected:
    void SetUp() override
    {
        PlugsweepTest::SetUp();
        writeRegistry({{"id-a", "Alpha vLX", "/L/Alpha/Alpha.plugin"}});
        installTool("exit 0\n");
        m_journal.ui = m_ui;
        m_journal.snapshot = [this] {
            return std::string("plan=") + (fs::exists(planPath()) ? "1" : "0") + " busy=" +
                   (m_ui->busy() ? "1" : "0") + " alerts=" + std::to_string(alerts().size()) +
                   " terminated=" + (terminated() ? "1" : "0");
        };
        platform::setAuthorizationBackendFactory(
            [this] { return std::unique_ptr<platform::AuthorizationBackend>(new RecordingBackend(m_journal)); });
        start();
        ASSERT_TRUE(m_table->userToggle(0));
    }
    void TearDown() override
    {
        platform::setAuthorizationBackendFactory({});
        PlugsweepTest::TearDown();
    }

    Journal m_journal;
};

TEST_F(RemovalOrder, RightsThenPlanThenToolThenAlertThenCloseThenTerminateThenFree)
{
    m_journal.output = std::string(5000, 'x') + "\nsecond line\n" + std::string(1023, 'y') + "\nlast";
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_journal.calls,
              (Strings{"acquire " + toolPath() + " interactive plan=0 busy=0 alerts=0 terminated=0",
                       "execute " + toolPath() + " plan=1 busy=1 alerts=0 terminated=0",
                       "status plan=1 busy=1 alerts=0 terminated=0",
                       "close plan=1 busy=0 alerts=1 terminated=0",
                       "release plan=1 busy=0 alerts=1 terminated=1", "destroy"}));
    EXPECT_EQ(m_journal.offset, m_journal.output.size());
    ASSERT_FALSE(m_journal.busyWhileReading.empty());
    for (bool busy : m_journal.busyWhileReading)
        EXPECT_TRUE(busy);
}

TEST_F(RemovalOrder, CancelledRightsAreFreedAndNothingElseHappens)
{
    m_journal.acquireStatus = platform::errAuthorizationCanceled;
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_journal.calls,
              (Strings{"acquire " + toolPath() + " interactive plan=0 busy=0 alerts=0 terminated=0",
                       "release plan=0 busy=0 alerts=0 terminated=0", "destroy"}));
    EXPECT_FALSE(terminated());
}

TEST_F(RemovalOrder, ReferenceThatCannotBeCreatedAsksNothing)
{
    platform::setAuthorizationBackendFactory([] { return std::unique_ptr<platform::AuthorizationBackend>(); });
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_TRUE(m_journal.calls.empty());
    EXPECT_FALSE(fs::exists(planPath()));
    EXPECT_FALSE(terminated());
    EXPECT_TRUE(m_ui->events().empty());
    EXPECT_EQ(checks(), (Strings{"CHK_ON"}));
    EXPECT_TRUE(m_uninstallButton->isEnabled());
}

}  // namespace
}  // namespace plugsweep_test
