#include "selection-pane/LogicFixture.h"

#include "selection-pane/APPViewControl_LayoutPlugin.h"
#include "selection-pane/InstallerPluginPane_LayoutPlugin.h"

#include "platform/foundation/Bundle.h"
#include "platform/installer/InstallerSection.h"
#include "platform/headless/HeadlessControls.h"
#include "platform/headless/HeadlessUi.h"

#include <filesystem>

namespace oxlade::test {
namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;
using platform::headless::HeadlessButton;
using platform::headless::HeadlessInterface;
using platform::headless::HeadlessTableView;
using platform::headless::ScopedHeadlessUi;

PlistArray strings(std::initializer_list<const char*> values)
{
    PlistArray array;
    for (const char* value : values)
        array.emplace_back(value);
    return array;
}

class Pane : public LogicFixture {
protected:
    void SetUp() override
    {
        LogicFixture::SetUp();
        bundle = addBundle(BundleContents()
                               .withCatalogue(catalogue({fixed("P"), fixed("Q"), fixed("R")}))
                               .table("English", {{"Title", "Choose hosts"}, {"P", "Host P"}}));
        section = std::make_unique<platform::InstallerSection>(bundle, shared);
        pane.initWithSection(section.get());
        pane.setNextEnabledHandler([this](bool enabled) { nextStates.push_back(enabled); });
        controller.connectOutlet("m_uiTableView", &table);
        controller.connectOutlet("m_uiLayoutInstall", &layoutSwitch);
        pane.connectAppViewController(&controller);
    }

    static PlistDictionary fixed(const char* key)
    {
        return entry({{"PluginType", "FIXED"}, {"APPNameKey", key}, {"InstallPath", "/Apps/Fixed"}});
    }

    const PlistArray* publishedSelection() const { return shared->arrayForKey("selectionAPPKey"); }
    const std::string* publishedLayout() const { return shared->stringForKey("LayoutPluginInstall"); }

    std::shared_ptr<platform::Bundle> bundle;
    std::shared_ptr<PlistDictionary> shared = std::make_shared<PlistDictionary>();
    std::unique_ptr<platform::InstallerSection> section;
    APPViewControl_LayoutPlugin controller;
    HeadlessTableView table{"m_uiTableView", {"chk", "name"}};
    HeadlessButton layoutSwitch{"m_uiLayoutInstall", HeadlessButton::Kind::CheckBox};
    InstallerPluginPane_LayoutPlugin pane;
    std::vector<bool> nextStates;
};

TEST_F(Pane, TitleIsLocalized)
{
    EXPECT_EQ(pane.title(), "Choose hosts");
}

TEST_F(Pane, EnteringRestoresTheStoredSelectionAndReachesContinue)
{
    shared->set("selectionAPPKey", strings({"R", "P"}));
    pane.didEnterPane(platform::kInstallerDirectionForward);
    EXPECT_EQ(controller.delegate(), &pane);
    EXPECT_EQ(*controller.arrayCheck(), (std::vector<std::string>{"CHK_ON", "CHK_OFF", "CHK_ON"}));
    EXPECT_EQ(nextStates, (std::vector<bool>{false, true})) << "the delegate is set before the rows are built";
    EXPECT_TRUE(pane.nextEnabled());

    nextStates.clear();
    table.userToggle(0);
    table.userToggle(2);
    EXPECT_EQ(nextStates, (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(pane.nextEnabled());
}

TEST_F(Pane, StoredSelectionKeepsOnlyStrings)
{
    PlistArray mixed = strings({"P"});
    mixed.emplace_back(7);
    mixed.emplace_back("R");
    shared->set("selectionAPPKey", mixed);
    EXPECT_EQ(pane.getSharedDictionary(), (std::vector<std::string>{"P", "R"}));
    shared->set("selectionAPPKey", "P");
    EXPECT_EQ(pane.getSharedDictionary(), std::nullopt);
    shared->erase("selectionAPPKey");
    EXPECT_EQ(pane.getSharedDictionary(), std::nullopt);
}

TEST_F(Pane, PublishesTickedRowsInOrder)
{
    shared->set("OtherSection", "kept");
    shared->set("LayoutPluginInstall", "YES");
    pane.didEnterPane(platform::kInstallerDirectionForward);
    controller.setM_arrayCheck(std::vector<std::string>{"CHK_ON", "CHK_OFF", "CHK_ON"});
    pane.setSharedDictionary();
    ASSERT_TRUE(publishedSelection());
    EXPECT_EQ(*publishedSelection(), strings({"P", "R"}));
    EXPECT_EQ(*publishedLayout(), "NO");
    EXPECT_EQ(*shared->stringForKey("OtherSection"), "kept");
}

TEST_F(Pane, StateDifferingInCaseIsNotTicked)
{
    pane.didEnterPane(platform::kInstallerDirectionForward);
    controller.setM_arrayCheck(std::vector<std::string>{"chk_on", "CHK_ON ", "CHK_OFF"});
    pane.setSharedDictionary();
    ASSERT_TRUE(publishedSelection());
    EXPECT_TRUE(publishedSelection()->empty());
}

TEST_F(Pane, TickedRowWithoutNameIsLeftOut)
{
    pane.didEnterPane(platform::kInstallerDirectionForward);
    PlistArray apps{PlistValue(fixed("P")), PlistValue(entry({{"PluginType", "FIXED"}})), PlistValue("not an entry")};
    controller.setM_appArray(apps);
    controller.setM_arrayCheck(std::vector<std::string>{"CHK_ON", "CHK_ON", "CHK_ON", "CHK_ON"});
    pane.setSharedDictionary();
    EXPECT_EQ(*publishedSelection(), strings({"P"}));
}

struct SwitchCase {
    platform::NSInteger state;
    const char* published;
};

class LayoutSwitch : public Pane, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(LayoutSwitch, OnlyState1PublishesYes)
{
    pane.didEnterPane(platform::kInstallerDirectionForward);
    layoutSwitch.setState(GetParam().state);
    pane.setSharedDictionary();
    ASSERT_TRUE(publishedLayout());
    EXPECT_EQ(*publishedLayout(), GetParam().published);
}

INSTANTIATE_TEST_SUITE_P(States, LayoutSwitch,
                         ::testing::Values(SwitchCase{1, "YES"}, SwitchCase{0, "NO"}, SwitchCase{-1, "NO"},
                                           SwitchCase{2, "NO"}));

TEST_F(Pane, LeavingBackwardsWritesNoPlanButPublishes)
{
    pane.didEnterPane(platform::kInstallerDirectionForward);
    table.userToggle(1);
    EXPECT_TRUE(pane.shouldExitPane(platform::kInstallerDirectionBackward));
    EXPECT_FALSE(exists(planPath()));
    EXPECT_EQ(*publishedSelection(), strings({"Q"}));
    EXPECT_EQ(*publishedLayout(), "NO");
}

TEST_F(Pane, LeavingForwardsWritesThePlanAndPublishes)
{
    pane.didEnterPane(platform::kInstallerDirectionForward);
    table.userToggle(0);
    EXPECT_TRUE(pane.shouldExitPane(platform::kInstallerDirectionForward));
    EXPECT_TRUE(exists(planPath()));
    EXPECT_EQ(*publishedSelection(), strings({"P"}));
}

TEST_F(Pane, FailedSaveAnswersNoAndStillPublishes)
{
    makeFolder(planPath());
    pane.didEnterPane(platform::kInstallerDirectionForward);
    table.userToggle(2);
    EXPECT_FALSE(pane.shouldExitPane(platform::kInstallerDirectionForward));
    EXPECT_EQ(*publishedSelection(), strings({"R"}));
    EXPECT_EQ(logLines().size(), 1u);
}

TEST_F(Pane, ReEnteringAfterGoingBackRestoresTheTicks)
{
    pane.didEnterPane(platform::kInstallerDirectionForward);
    table.userToggle(0);
    table.userToggle(2);
    ASSERT_TRUE(pane.shouldExitPane(platform::kInstallerDirectionBackward));
    pane.didExitPane(platform::kInstallerDirectionBackward);
    EXPECT_EQ(table.numberOfRows(), 0) << "leaving drops the rows";
    EXPECT_TRUE(publishedSelection());

    nextStates.clear();
    pane.didEnterPane(platform::kInstallerDirectionBackward);
    EXPECT_EQ(*controller.selectArray(), (std::vector<std::string>{"P", "R"}));
    EXPECT_EQ(*controller.arrayCheck(), (std::vector<std::string>{"CHK_ON", "CHK_OFF", "CHK_ON"}));
    EXPECT_EQ(nextStates, (std::vector<bool>{false, true}));
}

TEST_F(Pane, WithoutSectionNothingIsReadOrWritten)
{
    InstallerPluginPane_LayoutPlugin orphan;
    orphan.initWithSection(nullptr);
    orphan.connectAppViewController(&controller);
    orphan.didEnterPane(platform::kInstallerDirectionForward);
    EXPECT_FALSE(controller.selectArray());
    EXPECT_EQ(orphan.getSharedDictionary(), std::nullopt);
    table.userToggle(0);
    EXPECT_TRUE(orphan.shouldExitPane(platform::kInstallerDirectionBackward));
    EXPECT_TRUE(shared->empty());
}

TEST_F(Pane, WithoutControllerLeavingForwardIsRefusedAndTheSelectionKept)
{
    InstallerPluginPane_LayoutPlugin bare;
    bare.initWithSection(section.get());
    shared->set("selectionAPPKey", strings({"P"}));
    bare.didEnterPane(platform::kInstallerDirectionForward);
    EXPECT_FALSE(bare.shouldExitPane(platform::kInstallerDirectionForward));
    EXPECT_TRUE(bare.shouldExitPane(platform::kInstallerDirectionBackward));
    EXPECT_EQ(*publishedSelection(), strings({"P"}));
    EXPECT_FALSE(exists(planPath()));
}

TEST_F(Pane, NavigationRequestsSucceedWithoutActing)
{
    pane.didEnterPane(platform::kInstallerDirectionForward);
    EXPECT_TRUE(pane.gotoNextPane());
    EXPECT_TRUE(pane.gotoPreviousPane());
    EXPECT_EQ(table.numberOfRows(), 3);
    EXPECT_FALSE(publishedSelection());
}

/// The view description as the headless backend builds it for the pane's resource.
std::unique_ptr<platform::Interface> paneInterface()
{
    auto interface = std::make_unique<HeadlessInterface>("InstallerPane");
    interface->add(std::make_unique<HeadlessTableView>("m_uiTableView", std::vector<std::string>{"chk", "name"}));
    interface->add(std::make_unique<HeadlessButton>("m_uiLayoutInstall", HeadlessButton::Kind::CheckBox));
    interface->setProperty("InstallerPane", "controllerClass", "APPViewControl_LayoutPlugin");
    interface->setProperty("m_uiTableView", "dataSource", "controller");
    interface->setProperty("m_uiTableView", "delegate", "controller");
    return interface;
}

class LoadedView : public Pane {
protected:
    void SetUp() override
    {
        Pane::SetUp();
        writeFile(bundle->resourcePath() + "/InstallerPane.ui", "<ui/>");
        const auto path = bundle->pathForResource("InstallerPane", "ui");
        ASSERT_TRUE(path);
        headless.ui().registerInterface(*path, [this] {
            auto interface = paneInterface();
            loadedTable = interface->objectNamed<HeadlessTableView>("m_uiTableView");
            loadedSwitch = interface->objectNamed<HeadlessButton>("m_uiLayoutInstall");
            ++loads;
            return interface;
        });
    }

    ScopedHeadlessUi headless;
    InstallerPluginPane_LayoutPlugin viewPane;
    HeadlessTableView* loadedTable = nullptr;
    HeadlessButton* loadedSwitch = nullptr;
    int loads = 0;
};

TEST_F(LoadedView, ContentViewLoadsTheDescriptionAndConnectsTheController)
{
    viewPane.initWithSection(section.get());
    EXPECT_EQ(viewPane.contentView(), nullptr) << "the headless backend has no native view";
    ASSERT_NE(viewPane.appViewController(), nullptr);
    ASSERT_NE(loadedTable, nullptr);
    EXPECT_EQ(loadedTable->dataSource(), viewPane.appViewController());
    EXPECT_EQ(loadedTable->delegate(), viewPane.appViewController());
    EXPECT_EQ(viewPane.appViewController()->uiLayoutInstall(), loadedSwitch);
    viewPane.contentView();
    EXPECT_EQ(loads, 1) << "the view is loaded once";
}

TEST_F(LoadedView, EnteringLoadsTheViewWhenNeeded)
{
    viewPane.initWithSection(section.get());
    shared->set("selectionAPPKey", strings({"Q"}));
    viewPane.didEnterPane(platform::kInstallerDirectionForward);
    ASSERT_NE(loadedTable, nullptr);
    EXPECT_EQ(loadedTable->numberOfRows(), 3);
    EXPECT_EQ(platform::intValue(loadedTable->valueAt("chk", 1)), 1);
    EXPECT_EQ(loadedTable->valueAt("name", 0), PlistValue("Host P"));
    EXPECT_TRUE(loadedSwitch->isHidden());
    EXPECT_TRUE(viewPane.nextEnabled());
    ASSERT_TRUE(loadedTable->userToggle(0));
    EXPECT_TRUE(viewPane.shouldExitPane(platform::kInstallerDirectionForward));
    EXPECT_EQ(*publishedSelection(), strings({"P", "Q"}));
}

TEST_F(LoadedView, NoDescriptionGivesNoView)
{
    std::filesystem::remove(bundle->resourcePath() + "/InstallerPane.ui");
    viewPane.initWithSection(section.get());
    EXPECT_EQ(viewPane.contentView(), nullptr);
    EXPECT_EQ(viewPane.appViewController(), nullptr);
    EXPECT_EQ(loads, 0);
}

}  // namespace
}  // namespace oxlade::test
