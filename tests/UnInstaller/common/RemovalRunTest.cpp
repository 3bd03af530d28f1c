#include "UnInstaller/common/PlugsweepTestSupport.h"
#include "platform/headless/HeadlessAuthorization.h"
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

    void expectCompletion()
    {
        ASSERT_EQ(alerts().size(), 1u);
        EXPECT_EQ(alerts()[0].alertKind, AlertKind::Informational);
        EXPECT_EQ(alerts()[0].detail, "txt:STEXT_END");
        EXPECT_EQ(alerts()[0].message, "");
        EXPECT_EQ(alerts()[0].button, "txt:STEXT_OK_BUTTON");
        ASSERT_FALSE(m_ui->events().empty());
        EXPECT_EQ(m_ui->events().back().kind, HeadlessEvent::Kind::Terminate);
        EXPECT_TRUE(terminated());
        EXPECT_FALSE(m_ui->busy());
        EXPECT_EQ(m_ui->busyCount(), 1u);
        EXPECT_FALSE(hasUnreapedChildren());
    }

    void expectNothingChanged()
    {
        EXPECT_EQ(checks(), (Strings{"CHK_ON", "CHK_OFF", "CHK_ON"}));
        EXPECT_TRUE(m_uninstallButton->isEnabled());
        EXPECT_FALSE(terminated());
        EXPECT_TRUE(m_ui->events().empty());
        EXPECT_TRUE(m_auth->executions().empty());
        EXPECT_EQ(m_ui->busyCount(), 0u);
        EXPECT_TRUE(m_log.empty());
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
    expectNothingChanged();
}

TEST_F(RemovalRun, MissingToolFailsOnlyAtItsStartWithThePlanWritten)
{
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_auth->prompts(), (Strings{""}));
    EXPECT_TRUE(m_auth->executions().empty());
    EXPECT_EQ(readPlanEntries()->size(), 2u);
    EXPECT_TRUE(alerts().empty());
    EXPECT_TRUE(terminated());
    EXPECT_FALSE(m_ui->busy());
    EXPECT_TRUE(m_log.empty());
}

TEST_F(RemovalRun, ToolThatCannotBeRunTerminatesWithoutAlert)
{
    installTool("exit 0\n", 0644);
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(readPlanEntries()->size(), 2u);
    EXPECT_TRUE(alerts().empty());
    EXPECT_TRUE(terminated());
    EXPECT_FALSE(m_ui->busy());
}

TEST_F(RemovalRun, SilentToolStillGivesTheCompletionAlert)
{
    installTool("exit 0\n");
    ASSERT_TRUE(m_uninstallButton->click());
    expectCompletion();
}

TEST_F(RemovalRun, OnlyAZeroExitStatusGivesTheCompletionAlert)
{
    // Decided by the status alone: text that looks like success changes nothing.
    writeFile(m_app + "/Contents/Resources/English.lproj/Localizable.strings",
              "\"STEXT_END\" = \"done\";\n\"STEXT_OK_BUTTON\" = \"OK\";\n"
              "\"STEXT_NOT_REMOVED\" = \"not all\";\n\"STEXT_NOT_REMOVED_MESSAGE\" = \"%@ left, see the log\";\n");
    struct Case {
        const char* body;
        bool complete;
    };
    for (const Case& c : {Case{"echo 'refused: everything'\nexit 1\n", false}, Case{"echo 'removed all'\nexit 3\n", false},
                          Case{"kill -TERM $$\n", false}, Case{"echo 'failed'\nexit 0\n", true}}) {
        SCOPED_TRACE(c.body);
        installTool(c.body);
        const std::size_t before = alerts().size();
        m_auth->queueAnswer(Answer::Grant);
        ASSERT_TRUE(m_uninstallButton->click());
        ASSERT_EQ(alerts().size(), before + 1);
        if (c.complete) {
            EXPECT_EQ(alerts().back().detail, "done");
            EXPECT_EQ(alerts().back().message, "");
        } else {
            EXPECT_EQ(alerts().back().detail, "not all");
            // Both ticked modules are still in the registry.
            EXPECT_EQ(alerts().back().message, "2 left, see the log");
        }
        EXPECT_FALSE(hasUnreapedChildren());
    }
}

TEST_F(RemovalRun, NotRemovedCountIsTheTickedModulesStillRegistered)
{
    writeFile(m_app + "/Contents/Resources/English.lproj/Localizable.strings",
              "\"STEXT_NOT_REMOVED_MESSAGE\" = \"%@ left\";\n");
    // The stand-in removes Alpha from the registry and fails on Gamma.
    const std::string registry = m_root + "/Library/Preferences/com.tavix.KEPL2.plist";
    installTool("sed -i '/id-a/,/<\\/dict>/d' '" + registry + "'\nexit 1\n");
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].message, "1 left");
}

TEST_F(RemovalRun, ToolLinesGoToTheSystemLog)
{
    installTool("echo 'removed /L/Alpha/Alpha.plugin'\necho 'skipped id-c: is not in the registry'\nexit 1\n");
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_log, (Strings{"ScriptHelper: removed /L/Alpha/Alpha.plugin",
                              "ScriptHelper: skipped id-c: is not in the registry", "ScriptHelper ended with status 1"}));
}

TEST_F(RemovalRun, PromptThatCannotBeShownIsSaidAndTheWindowStays)
{
    m_auth->queueAnswer(Answer::NoPrompt);
    ASSERT_TRUE(m_uninstallButton->click());
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "STEXT_NO_AUTH_PROMPT");
    EXPECT_EQ(alerts()[0].message, "STEXT_NO_AUTH_PROMPT_MESSAGE");
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
    m_controller->setM_arrayName(Strings{"Alpha vLX", "Beta vLX", "GammavLX"});
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(readFile(planPath()), "earlier plan");
    EXPECT_FALSE(fs::exists(m_home + "/ran"));
    EXPECT_TRUE(m_auth->executions().empty());
    EXPECT_TRUE(alerts().empty());
    EXPECT_TRUE(m_log.empty());
    EXPECT_TRUE(terminated());
}

TEST_F(RemovalRun, UnwritablePlanTerminatesWithTheLogLineOnly)
{
    installTool("touch \"$HOME/ran\"\n");
    fs::create_directories(planPath());
    ASSERT_TRUE(m_uninstallButton->click());
    EXPECT_EQ(m_log, (Strings{"データの保存に失敗しました。"}));
    EXPECT_FALSE(fs::exists(m_home + "/ran"));
    EXPECT_TRUE(alerts().empty());
    EXPECT_TRUE(terminated());
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
