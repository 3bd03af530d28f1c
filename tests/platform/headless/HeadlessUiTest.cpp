#include "platform/appkit/Alert.h"
#include "platform/appkit/OpenPanel.h"
#include "platform/headless/HeadlessControls.h"
#include "platform/headless/HeadlessUi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace platform::headless {
namespace {

using Kind = HeadlessEvent::Kind;

TEST(HeadlessUi, PanelsAnswerFromTheQueueInOrderThenCancel)
{
    ScopedHeadlessUi scoped;
    scoped.ui().queuePanelChoice("/tmp/first");
    scoped.ui().queuePanelCancel();
    scoped.ui().queuePanelChoice("/tmp/third");

    std::vector<NSInteger> results;
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        auto panel = OpenPanel::openPanel();
        panel->setCanChooseDirectories(true);
        panel->setCanChooseFiles(false);
        results.push_back(panel->runModalForDirectory(std::string("/start"), std::nullopt, std::nullopt));
        names.push_back(results.back() == 1 ? panel->filename() : std::string());
    }
    EXPECT_EQ(results, (std::vector<NSInteger>{1, 0, 1, 0}));
    EXPECT_EQ(names, (std::vector<std::string>{"/tmp/first", "", "/tmp/third", ""}));
    EXPECT_EQ(scoped.ui().panelCount(), 4u);
    for (const auto& event : scoped.ui().events()) {
        EXPECT_EQ(event.kind, Kind::OpenPanel);
        EXPECT_EQ(event.detail, "/start");
    }
}

TEST(HeadlessUi, PanelWithoutStartingFolderRecordsTheHomeFolder)
{
    const char* oldHome = std::getenv("HOME");
    const std::string saved = oldHome ? oldHome : "";
    setenv("HOME", "/tmp/headless-home-for-test", 1);
    ScopedHeadlessUi scoped;
    auto panel = OpenPanel::openPanel();
    EXPECT_EQ(panel->runModalForDirectory(std::nullopt, std::nullopt, std::nullopt), 0);
    setenv("HOME", saved.c_str(), 1);
    ASSERT_EQ(scoped.ui().events().size(), 1u);
    EXPECT_EQ(scoped.ui().events()[0].detail, "/tmp/headless-home-for-test");
}

TEST(HeadlessUi, AlertsAreRecordedWithTheirKindAndAnsweredOne)
{
    ScopedHeadlessUi scoped;
    EXPECT_EQ(NSRunCriticalAlertPanel("Requires 10.6", "", "OK"), 1);
    EXPECT_EQ(NSRunInformationalAlertPanel("Done", "All removed", "Close"), 1);
    const auto& events = scoped.ui().events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, Kind::Alert);
    EXPECT_EQ(events[0].alertKind, AlertKind::Critical);
    EXPECT_EQ(events[0].detail, "Requires 10.6");
    EXPECT_EQ(events[0].message, "");
    EXPECT_EQ(events[0].button, "OK");
    EXPECT_EQ(events[1].alertKind, AlertKind::Informational);
    EXPECT_EQ(events[1].message, "All removed");
    EXPECT_EQ(events[1].button, "Close");
    EXPECT_EQ(scoped.ui().alertCount(), 2u);
    EXPECT_EQ(scoped.ui().panelCount(), 0u);
}

TEST(HeadlessUi, EventLoopRunsStartThenSessionThenReturns)
{
    HeadlessUi ui;
    std::vector<std::string> order;
    ui.setSession([&order] { order.push_back("session"); });
    EXPECT_EQ(ui.runEventLoop([&order] { order.push_back("started"); }), 0);
    EXPECT_EQ(order, (std::vector<std::string>{"started", "session"}));
}

TEST(HeadlessUi, QuitWhileStartingSkipsTheSessionAndRecordsTermination)
{
    HeadlessUi ui;
    bool sessionRan = false;
    ui.setSession([&sessionRan] { sessionRan = true; });
    ui.runEventLoop([&ui] { ui.quitEventLoop(); });
    EXPECT_FALSE(sessionRan);
    ASSERT_EQ(ui.events().size(), 1u);
    EXPECT_EQ(ui.events()[0].kind, Kind::Terminate);

    ui.runEventLoop({});
    EXPECT_TRUE(sessionRan);
}

TEST(HeadlessUi, InterfacesComeFromTheFactoryRegisteredForThePath)
{
    HeadlessUi ui;
    ui.registerInterface("/res/MainMenu.ui", [] {
        auto interface = std::make_unique<HeadlessInterface>("Main");
        interface->add(std::make_unique<HeadlessButton>("closeButton"));
        return interface;
    });
    auto interface = ui.loadInterface("/res/MainMenu.ui");
    ASSERT_NE(interface, nullptr);
    EXPECT_EQ(interface->rootName(), "Main");
    EXPECT_NE(interface->objectNamed<Button>("closeButton"), nullptr);
    EXPECT_EQ(ui.loadInterface("/res/Other.ui"), nullptr);
}

TEST(HeadlessUi, BusyIsCountedPerStart)
{
    HeadlessUi ui;
    ui.setBusy(true);
    ui.setBusy(false);
    ui.setBusy(true);
    EXPECT_TRUE(ui.busy());
    EXPECT_EQ(ui.busyCount(), 2u);
}

TEST(ScopedHeadlessUi, RestoresTheEarlierBackend)
{
    ASSERT_FALSE(hasUiBackend());
    {
        ScopedHeadlessUi outer;
        {
            ScopedHeadlessUi inner;
            EXPECT_EQ(&uiBackend(), &inner.ui());
        }
        EXPECT_EQ(&uiBackend(), &outer.ui());
    }
    EXPECT_FALSE(hasUiBackend());
}

TEST(HeadlessUi, DestroyedBackendIsNoLongerInUse)
{
    {
        HeadlessUi ui;
        setUiBackend(&ui);
    }
    EXPECT_FALSE(hasUiBackend());
}

TEST(HeadlessInterface, PropertiesAreKeptPerObjectAndKey)
{
    HeadlessInterface interface;
    interface.setProperty("closeButton", "action", "close:");
    EXPECT_EQ(interface.property("closeButton", "action"), "close:");
    EXPECT_EQ(interface.property("closeButton", "dataSource"), "");
    EXPECT_EQ(interface.property("uninstallButton", "action"), "");
    EXPECT_EQ(interface.rootName(), "root");
    EXPECT_EQ(interface.nativeView(), nullptr);
}

}  // namespace
}  // namespace platform::headless
