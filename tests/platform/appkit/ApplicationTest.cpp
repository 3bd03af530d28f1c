#include "platform/appkit/Application.h"
#include "platform/appkit/Menu.h"
#include "platform/headless/HeadlessUi.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void TearDown() override { Application::sharedApplication().reset(); }
};

class Delegate : public ApplicationDelegate {
public:
    void applicationDidFinishLaunching(Application*) override {}
};

TEST_F(ApplicationTest, IsOneObject)
{
    EXPECT_EQ(&Application::sharedApplication(), &Application::sharedApplication());
}

TEST_F(ApplicationTest, TerminateEndsTheBackendsEventLoop)
{
    headless::ScopedHeadlessUi scoped;
    Application& app = Application::sharedApplication();
    EXPECT_FALSE(app.isTerminated());
    app.terminate(nullptr);
    EXPECT_TRUE(app.isTerminated());
    ASSERT_EQ(scoped.ui().events().size(), 1u);
    EXPECT_EQ(scoped.ui().events()[0].kind, headless::HeadlessEvent::Kind::Terminate);
}

TEST_F(ApplicationTest, TerminateWithoutBackendOnlySetsTheFlag)
{
    ASSERT_FALSE(hasUiBackend());
    Application::sharedApplication().terminate(nullptr);
    EXPECT_TRUE(Application::sharedApplication().isTerminated());
}

TEST_F(ApplicationTest, ResetClearsFlagDelegateAndMenu)
{
    Application& app = Application::sharedApplication();
    Delegate delegate;
    app.setDelegate(&delegate);
    app.setMainMenu(std::make_shared<Menu>("Main"));
    app.terminate(nullptr);
    app.reset();
    EXPECT_FALSE(app.isTerminated());
    EXPECT_EQ(app.delegate(), nullptr);
    EXPECT_EQ(app.mainMenu(), nullptr);
}

}  // namespace
}  // namespace platform
