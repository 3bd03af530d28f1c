#include "installer-host/InstallerSession.h"

#include "platform/installer/InstallerPane.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using installerhost::InstallerSession;
using Step = InstallerSession::Step;

namespace {

// A pane that writes each lifecycle call into a log shared by all panes of a test, answers
// shouldExitPane per direction as told, and can change its Continue state on entry.
class RecordingPane : public platform::InstallerPane {
public:
    RecordingPane(std::string name, std::vector<std::string>& log) : m_name(std::move(name)), m_log(log) {}

    std::string title() override { return m_title.empty() ? m_name : m_title; }
    void didEnterPane(int direction) override
    {
        record("didEnterPane", direction);
        if (nextEnabledOnEntry)
            setNextEnabled(*nextEnabledOnEntry);
    }
    bool shouldExitPane(int direction) override
    {
        record("shouldExitPane", direction);
        if (onShouldExit)
            onShouldExit();
        return direction == platform::kInstallerDirectionForward ? allowForward : allowBackward;
    }
    void didExitPane(int direction) override { record("didExitPane", direction); }

    void setTitle(std::string title) { m_title = std::move(title); }

    bool allowForward = true;
    bool allowBackward = true;
    std::optional<bool> nextEnabledOnEntry;
    std::function<void()> onShouldExit;

private:
    void record(const char* call, int direction)
    {
        m_log.push_back(m_name + "." + call + "(" + std::to_string(direction) + ")");
    }

    std::string m_name;
    std::string m_title;
    std::vector<std::string>& m_log;
};

class InstallerSessionTest : public ::testing::Test {
protected:
    void makeSession(std::size_t paneCount)
    {
        std::vector<platform::InstallerPane*> raw;
        for (std::size_t i = 0; i < paneCount; ++i) {
            panes.push_back(std::make_unique<RecordingPane>(std::string(1, char('A' + i)), log));
            raw.push_back(panes.back().get());
        }
        session = std::make_unique<InstallerSession>(raw);
        session->setPaneEnteredHandler([this](std::size_t index) { entered.push_back(index); });
        session->setNextEnabledChangedHandler([this](bool enabled) { nextEnabledChanges.push_back(enabled); });
        session->setFinishedHandler([this] { ++finishedCount; });
    }

    RecordingPane& pane(std::size_t index) { return *panes.at(index); }

    // Destroys the session before the panes it points to.
    void TearDown() override { session.reset(); }

    std::vector<std::string> log;
    std::vector<std::unique_ptr<RecordingPane>> panes;
    std::unique_ptr<InstallerSession> session;
    std::vector<std::size_t> entered;
    std::vector<bool> nextEnabledChanges;
    int finishedCount = 0;
};

TEST_F(InstallerSessionTest, StartEntersFirstPaneForward)
{
    makeSession(2);
    EXPECT_EQ(session->currentPane(), nullptr);
    session->start();
    EXPECT_EQ(log, (std::vector<std::string>{"A.didEnterPane(0)"}));
    EXPECT_EQ(entered, (std::vector<std::size_t>{0}));
    EXPECT_EQ(session->currentPane(), &pane(0));
    EXPECT_FALSE(session->canGoBack());
    EXPECT_TRUE(session->canContinue());

    session->start();
    EXPECT_EQ(log.size(), 1u) << "a second start enters nothing again";
}

TEST_F(InstallerSessionTest, NothingMovesBeforeStart)
{
    makeSession(1);
    EXPECT_EQ(session->continueForward(), Step::NotAllowed);
    EXPECT_EQ(session->goBack(), Step::NotAllowed);
    EXPECT_TRUE(log.empty());
}

TEST_F(InstallerSessionTest, ContinueAsksThenExitsThenEntersNextPane)
{
    makeSession(2);
    session->start();
    log.clear();
    EXPECT_EQ(session->continueForward(), Step::Moved);
    EXPECT_EQ(log, (std::vector<std::string>{"A.shouldExitPane(0)", "A.didExitPane(0)", "B.didEnterPane(0)"}));
    EXPECT_EQ(session->currentIndex(), 1u);
    EXPECT_EQ(entered, (std::vector<std::size_t>{0, 1}));
    EXPECT_TRUE(session->canGoBack());
    EXPECT_EQ(finishedCount, 0);
}

TEST_F(InstallerSessionTest, RefusedExitKeepsPaneWithoutDidExitAndAsksAgainOnNextPress)
{
    makeSession(2);
    pane(0).allowForward = false;
    session->start();
    log.clear();
    EXPECT_EQ(session->continueForward(), Step::Refused);
    EXPECT_EQ(session->continueForward(), Step::Refused);
    EXPECT_EQ(log, (std::vector<std::string>{"A.shouldExitPane(0)", "A.shouldExitPane(0)"}));
    EXPECT_EQ(session->currentPane(), &pane(0));
    EXPECT_EQ(entered, (std::vector<std::size_t>{0}));

    pane(0).allowForward = true;
    EXPECT_EQ(session->continueForward(), Step::Moved);
    EXPECT_EQ(session->currentPane(), &pane(1));
}

TEST_F(InstallerSessionTest, LeavingLastPaneForwardReachesFinalPage)
{
    makeSession(2);
    session->start();
    ASSERT_EQ(session->continueForward(), Step::Moved);
    log.clear();
    EXPECT_EQ(session->continueForward(), Step::Moved);
    EXPECT_EQ(log, (std::vector<std::string>{"B.shouldExitPane(0)", "B.didExitPane(0)"}));
    EXPECT_TRUE(session->isFinished());
    EXPECT_EQ(session->currentPane(), nullptr);
    EXPECT_EQ(finishedCount, 1);

    log.clear();
    EXPECT_FALSE(session->canContinue());
    EXPECT_FALSE(session->canGoBack());
    EXPECT_EQ(session->continueForward(), Step::NotAllowed);
    EXPECT_EQ(session->goBack(), Step::NotAllowed);
    EXPECT_TRUE(log.empty()) << "no pane is called from the final page";
    EXPECT_EQ(finishedCount, 1);
}

TEST_F(InstallerSessionTest, GoBackAsksBackwardThenReentersPreviousPaneBackward)
{
    makeSession(2);
    session->start();
    ASSERT_EQ(session->continueForward(), Step::Moved);
    log.clear();
    EXPECT_EQ(session->goBack(), Step::Moved);
    EXPECT_EQ(log, (std::vector<std::string>{"B.shouldExitPane(1)", "B.didExitPane(1)", "A.didEnterPane(1)"}));
    EXPECT_EQ(session->currentPane(), &pane(0));
    EXPECT_EQ(entered, (std::vector<std::size_t>{0, 1, 0}));

    log.clear();
    EXPECT_EQ(session->continueForward(), Step::Moved);
    EXPECT_EQ(log, (std::vector<std::string>{"A.shouldExitPane(0)", "A.didExitPane(0)", "B.didEnterPane(0)"}))
        << "returning forward enters the pane again";
}

TEST_F(InstallerSessionTest, RefusedGoBackStaysWithoutDidExit)
{
    makeSession(2);
    session->start();
    ASSERT_EQ(session->continueForward(), Step::Moved);
    pane(1).allowBackward = false;
    log.clear();
    EXPECT_EQ(session->goBack(), Step::Refused);
    EXPECT_EQ(log, (std::vector<std::string>{"B.shouldExitPane(1)"}));
    EXPECT_EQ(session->currentPane(), &pane(1));
}

TEST_F(InstallerSessionTest, GoBackOnFirstPaneCallsNothing)
{
    makeSession(2);
    session->start();
    log.clear();
    EXPECT_EQ(session->goBack(), Step::NotAllowed);
    EXPECT_TRUE(log.empty());
}

TEST_F(InstallerSessionTest, ContinueFollowsTheShownPanesSetNextEnabled)
{
    makeSession(2);
    pane(0).nextEnabledOnEntry = false;
    session->start();
    EXPECT_EQ(nextEnabledChanges, (std::vector<bool>{false}));
    EXPECT_FALSE(session->canContinue());
    log.clear();
    EXPECT_EQ(session->continueForward(), Step::NotAllowed);
    EXPECT_TRUE(log.empty()) << "a disabled Continue asks the pane nothing";

    pane(0).setNextEnabled(true);
    EXPECT_EQ(nextEnabledChanges, (std::vector<bool>{false, true}));
    EXPECT_TRUE(session->canContinue());
    EXPECT_EQ(session->continueForward(), Step::Moved);
}

TEST_F(InstallerSessionTest, SetNextEnabledOfPaneNotShownIsNotReported)
{
    makeSession(2);
    session->start();
    pane(1).setNextEnabled(false);
    EXPECT_TRUE(nextEnabledChanges.empty());
    EXPECT_TRUE(session->canContinue());
}

TEST_F(InstallerSessionTest, TitlesAreAskedAnewInPaneOrder)
{
    makeSession(3);
    EXPECT_EQ(session->titles(), (std::vector<std::string>{"A", "B", "C"}));
    pane(1).setTitle("Hosts");
    EXPECT_EQ(session->titles(), (std::vector<std::string>{"A", "Hosts", "C"}));
}

TEST_F(InstallerSessionTest, WithoutPanesStartGoesToFinalPage)
{
    makeSession(0);
    session->start();
    EXPECT_TRUE(session->isFinished());
    EXPECT_EQ(finishedCount, 1);
    EXPECT_FALSE(session->canContinue());
}

TEST_F(InstallerSessionTest, PressWhilePaneIsAskedIsIgnored)
{
    makeSession(3);
    session->start();
    Step nested = Step::Moved;
    bool nestedCanContinue = true;
    pane(0).onShouldExit = [&] {
        nestedCanContinue = session->canContinue();
        nested = session->continueForward();
    };
    log.clear();
    EXPECT_EQ(session->continueForward(), Step::Moved);
    EXPECT_EQ(nested, Step::NotAllowed);
    EXPECT_FALSE(nestedCanContinue);
    EXPECT_EQ(session->currentPane(), &pane(1)) << "one press moves one pane";
    EXPECT_EQ(log, (std::vector<std::string>{"A.shouldExitPane(0)", "A.didExitPane(0)", "B.didEnterPane(0)"}));
}

TEST_F(InstallerSessionTest, EnteredHandlerSeesSessionReadyForPresses)
{
    makeSession(2);
    std::vector<bool> canContinueOnEntry;
    session->setPaneEnteredHandler([&](std::size_t) { canContinueOnEntry.push_back(session->canContinue()); });
    session->start();
    ASSERT_EQ(session->continueForward(), Step::Moved);
    EXPECT_EQ(canContinueOnEntry, (std::vector<bool>{true, true}));
}

TEST_F(InstallerSessionTest, ReturnToLastPaneFromTheEndEntersItBackward)
{
    makeSession(2);
    session->start();
    EXPECT_EQ(session->returnToLastPane(), Step::NotAllowed) << "not before the end";
    ASSERT_EQ(session->continueForward(), Step::Moved);
    ASSERT_EQ(session->continueForward(), Step::Moved);
    ASSERT_TRUE(session->isFinished());
    log.clear();
    entered.clear();
    EXPECT_EQ(session->returnToLastPane(), Step::Moved);
    EXPECT_EQ(log, (std::vector<std::string>{"B.didEnterPane(1)"}));
    EXPECT_EQ(entered, (std::vector<std::size_t>{1}));
    EXPECT_FALSE(session->isFinished());
    EXPECT_TRUE(session->canGoBack());
    EXPECT_EQ(session->continueForward(), Step::Moved);
    EXPECT_EQ(finishedCount, 2) << "leaving it forward again reaches the end again";
}

TEST_F(InstallerSessionTest, ReturnToLastPaneWithoutPanesIsNotAllowed)
{
    makeSession(0);
    session->start();
    EXPECT_EQ(session->returnToLastPane(), Step::NotAllowed);
    EXPECT_TRUE(session->isFinished());
}

TEST_F(InstallerSessionTest, PanesOutliveSessionWithoutItsHandler)
{
    makeSession(1);
    session->start();
    session.reset();
    pane(0).setNextEnabled(false);
    EXPECT_FALSE(pane(0).nextEnabled());
    EXPECT_TRUE(nextEnabledChanges.empty());
}

}  // namespace
