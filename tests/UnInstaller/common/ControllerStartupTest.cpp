#include "UnInstaller/common/GestaltErr.h"
#include "UnInstaller/common/PlugsweepTestSupport.h"
#include "UnInstaller/common/SystemRequirement.h"
#include "platform/appkit/Application.h"
#include "platform/coreservices/Gestalt.h"
#include "platform/foundation/Bundle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

namespace plugsweep_test {
namespace {

using platform::AlertKind;
using platform::headless::HeadlessEvent;

class ControllerStartup : public PlugsweepTest {};

TEST_F(ControllerStartup, ConstructionLeavesEveryOwnedMemberEmpty)
{
    EXPECT_FALSE(m_controller->arrayCheck().has_value());
    EXPECT_FALSE(m_controller->arrayName().has_value());
    EXPECT_FALSE(m_controller->arrayUUID().has_value());
    EXPECT_FALSE(m_controller->arrayInstallPath().has_value());
    EXPECT_FALSE(m_controller->kepl2Dict().has_value());
    EXPECT_EQ(m_controller->window(), nullptr);
    EXPECT_EQ(m_controller->uiTableView(), nullptr);
    EXPECT_EQ(m_controller->numberOfRowsInTableView(nullptr), 0);
}

TEST_F(ControllerStartup, InitEmptiesOwnedMembersAgain)
{
    m_controller->setM_arrayCheck(Controller::StringArray{"CHK_ON"});
    m_controller->setM_kepl2Dict(platform::PlistDictionary());
    EXPECT_EQ(m_controller->init(), m_controller.get());
    EXPECT_FALSE(m_controller->arrayCheck().has_value());
    EXPECT_FALSE(m_controller->kepl2Dict().has_value());
}

TEST_F(ControllerStartup, DescriptionConnectsOutletsActionsAndRoles)
{
    platform::connectInterface(*m_interface, *m_controller);
    EXPECT_EQ(m_controller->window(), m_window);
    EXPECT_EQ(m_controller->uninstallButton(), m_uninstallButton);
    EXPECT_EQ(m_controller->closeButton(), m_closeButton);
    EXPECT_EQ(m_controller->allSelectChk(), m_allSelectChk);
    EXPECT_EQ(m_controller->messageTitle(), m_messageTitle);
    EXPECT_EQ(m_controller->noListMessage(), m_noListMessage);
    EXPECT_EQ(m_controller->uiTableView(), m_table);
    EXPECT_EQ(m_table->dataSource(), m_controller.get());
}

TEST_F(ControllerStartup, UnknownOutletsAndSelectorsAreRefused)
{
    EXPECT_FALSE(m_controller->connectOutlet("continueButton", m_closeButton));
    EXPECT_FALSE(m_controller->connectOutlet("window", m_closeButton));
    EXPECT_EQ(m_controller->window(), nullptr);
    EXPECT_FALSE(m_controller->performAction("terminate:", nullptr));
    EXPECT_FALSE(terminated());
}

TEST_F(ControllerStartup, WindowSetUpLocalizesEveryText)
{
    writeRegistry({{"id-1", "Alpha vLX", "/Library/Alpha/Alpha.plugin"}});
    start();
    EXPECT_EQ(m_window->centerCount(), 1u);
    EXPECT_EQ(m_window->title(), "txt:STEXT_CAPTION");
    EXPECT_EQ(m_messageTitle->stringValue(), "txt:STEXT_UNINSTALL_MESSAGE");
    EXPECT_EQ(m_uninstallButton->title(), "txt:STEXT_UNINSTALL_BUTTON");
    EXPECT_EQ(m_closeButton->title(), "txt:STEXT_CLOSE_BUTTON");
    EXPECT_EQ(m_allSelectChk->title(), "txt:STEXT_ALLSELECT");
    EXPECT_EQ(m_noListMessage->stringValue(), "txt:NOTFOUND_MESS");
}

TEST_F(ControllerStartup, SetUpStartsUntickedEvenWhenTheBoxWasOn)
{
    writeRegistry({{"id-1", "Alpha vLX", "/a/Alpha.plugin"}, {"id-2", "Beta vLX", "/b/Beta.plugin"}});
    m_allSelectChk->setState(1);
    start();
    EXPECT_EQ(checks(), (std::vector<std::string>{"CHK_OFF", "CHK_OFF"}));
    EXPECT_EQ(m_allSelectChk->state(), 0);
    EXPECT_EQ(m_allSelectChk->title(), "txt:STEXT_ALLSELECT");
    EXPECT_FALSE(m_uninstallButton->isEnabled());
    EXPECT_TRUE(m_allSelectChk->isEnabled());
    EXPECT_TRUE(m_table->isEnabled());
    EXPECT_TRUE(m_noListMessage->isHidden());
}

TEST_F(ControllerStartup, MissingEntryShowsItsKey)
{
    writeStringsTable({"STEXT_CAPTION", "STEXT_CLOSE_BUTTON"});
    start();
    EXPECT_EQ(m_window->title(), "txt:STEXT_CAPTION");
    EXPECT_EQ(m_closeButton->title(), "txt:STEXT_CLOSE_BUTTON");
    EXPECT_EQ(m_uninstallButton->title(), "STEXT_UNINSTALL_BUTTON");
    EXPECT_EQ(m_noListMessage->stringValue(), "NOTFOUND_MESS");
}

TEST_F(ControllerStartup, NoStringsTableAtAllShowsKeysAndPlaceholders)
{
    removeStringsTables();
    platform::setGestaltOverride([](platform::OSType, std::int32_t* response) {
        *response = 0x1040;
        return platform::noErr;
    });
    launch();
    EXPECT_EQ(m_window->title(), "STEXT_CAPTION");
    EXPECT_EQ(m_messageTitle->stringValue(), "STEXT_UNINSTALL_MESSAGE");
    EXPECT_EQ(m_allSelectChk->title(), "STEXT_ALLSELECT");
    EXPECT_EQ(m_menu->itemAtIndex(0)->submenu()->title(), "MENU_APP");
    EXPECT_EQ(m_menu->itemAtIndex(0)->submenu()->itemAtIndex(0)->title(), "MENU_ABOUT");
    EXPECT_EQ(m_menu->itemAtIndex(0)->submenu()->itemAtIndex(1)->title(), "MENU_QUIT");
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].detail, "RequirementsMessageKey");
    EXPECT_EQ(alerts()[0].button, "STEXT_OK_BUTTON");
}

TEST_F(ControllerStartup, WindowTextsComeFromTheControllersBundleAndMenusFromTheMainBundle)
{
    const std::string other = m_dir + "/Other.bundle";
    writeFile(other + "/Contents/Info.plist", readFile(m_app + "/Contents/Info.plist").value());
    writeFile(other + "/Contents/Resources/English.lproj/Localizable.strings",
              "\"STEXT_CAPTION\" = \"own caption\";\n\"MENU_APP\" = \"own menu\";\n");
    m_controller->setClassBundle(platform::Bundle::bundleWithPath(other));
    launch();
    EXPECT_EQ(m_window->title(), "own caption");
    EXPECT_EQ(m_menu->itemAtIndex(0)->submenu()->title(), "txt:MENU_APP");
}

TEST_F(ControllerStartup, CloseButtonEndsTheProgram)
{
    start();
    EXPECT_TRUE(m_closeButton->click());
    EXPECT_TRUE(terminated());
    EXPECT_TRUE(alerts().empty());
}

TEST_F(ControllerStartup, CloseBoxEndsTheProgramLikeTheCloseButton)
{
    start();
    EXPECT_FALSE(terminated());
    m_window->close();
    EXPECT_TRUE(terminated());
    EXPECT_TRUE(alerts().empty());
}

// Menu retitling.

class MenuRetitling : public PlugsweepTest {
protected:
    std::shared_ptr<platform::Menu> submenu(const std::string& title)
    {
        return std::make_shared<platform::Menu>(title);
    }
};

TEST_F(MenuRetitling, OnlyTheExactPlaceholderTitlesAreReplaced)
{
    m_menu = std::make_shared<platform::Menu>();
    m_interface->setMainMenu(m_menu);

    auto app = submenu("MENU_APP");
    app->addItem("MENU_ABOUT");
    app->addItem("menu_about");
    app->addItem("MENU_QUIT ");
    app->addItem("MENU_QUIT");
    platform::MenuItem* appItem = m_menu->addItem("MENU_APP");
    appItem->setSubmenu(app);

    auto lower = submenu("menu_app");
    m_menu->addItem("x")->setSubmenu(lower);
    auto blankLed = submenu(" MENU_APP");
    m_menu->addItem("y")->setSubmenu(blankLed);
    m_menu->addItem("MENU_QUIT");  // a top-level item without a submenu

    launch();
    EXPECT_EQ(app->title(), "txt:MENU_APP");
    EXPECT_EQ(appItem->title(), "MENU_APP");
    EXPECT_EQ(app->itemAtIndex(0)->title(), "txt:MENU_ABOUT");
    EXPECT_EQ(app->itemAtIndex(1)->title(), "menu_about");
    EXPECT_EQ(app->itemAtIndex(2)->title(), "MENU_QUIT ");
    EXPECT_EQ(app->itemAtIndex(3)->title(), "txt:MENU_QUIT");
    EXPECT_EQ(lower->title(), "menu_app");
    EXPECT_EQ(blankLed->title(), " MENU_APP");
    EXPECT_EQ(m_menu->itemAtIndex(3)->title(), "MENU_QUIT");
    EXPECT_EQ(m_menu->updateCount(), 1u);
}

TEST_F(MenuRetitling, ItemsOfEveryTopLevelSubmenuButNoDeeperOnesAreLocalized)
{
    m_menu = std::make_shared<platform::Menu>();
    m_interface->setMainMenu(m_menu);

    auto file = submenu("File");
    file->addItem("MENU_QUIT");
    platform::MenuItem* nestedHolder = file->addItem("More");
    auto nested = submenu("MENU_APP");
    nested->addItem("MENU_ABOUT");
    nested->addItem("MENU_QUIT");
    nestedHolder->setSubmenu(nested);
    m_menu->addItem("File")->setSubmenu(file);

    auto help = submenu("Help");
    help->addItem("MENU_ABOUT");
    m_menu->addItem("Help")->setSubmenu(help);

    launch();
    EXPECT_EQ(file->title(), "File");
    EXPECT_EQ(file->itemAtIndex(0)->title(), "txt:MENU_QUIT");
    EXPECT_EQ(help->itemAtIndex(0)->title(), "txt:MENU_ABOUT");
    EXPECT_EQ(nested->title(), "MENU_APP");
    EXPECT_EQ(nested->itemAtIndex(0)->title(), "MENU_ABOUT");
    EXPECT_EQ(nested->itemAtIndex(1)->title(), "MENU_QUIT");
}

TEST_F(MenuRetitling, AnAboutItemWhoseTextIsTheQuitPlaceholderIsRetitledTwice)
{
    writeFile(m_app + "/Contents/Resources/English.lproj/Localizable.strings",
              "\"MENU_ABOUT\" = \"MENU_QUIT\";\n\"MENU_QUIT\" = \"Quit\";\n");
    launch();
    EXPECT_EQ(m_menu->itemAtIndex(0)->submenu()->itemAtIndex(0)->title(), "Quit");
}

TEST_F(MenuRetitling, NoMainMenuIsNoError)
{
    m_menu.reset();
    m_interface->setMainMenu(nullptr);
    launch();
    EXPECT_FALSE(terminated());
}

// Version check.

TEST(SystemRequirement, TenSixAndLaterPass)
{
    EXPECT_FALSE(meetsSystemRequirement(0x105F));
    EXPECT_TRUE(meetsSystemRequirement(0x1060));
    EXPECT_FALSE(meetsSystemRequirement(0x1049));
    EXPECT_TRUE(meetsSystemRequirement(0x1068));
    EXPECT_TRUE(meetsSystemRequirement(0x10A0));
    EXPECT_FALSE(meetsSystemRequirement(0));
    EXPECT_FALSE(meetsSystemRequirement(-1));
    EXPECT_FALSE(meetsSystemRequirement(INT32_MIN));
    EXPECT_TRUE(meetsSystemRequirement(INT32_MAX));
}

TEST(GestaltErrException, CarriesItsNameAndReason)
{
    const GestaltErr error;
    EXPECT_EQ(error.name(), "GestaltErr");
    EXPECT_EQ(error.reason(), "Gestalt_Err");
    EXPECT_STREQ(error.what(), "Gestalt_Err");
}

struct VersionCase {
    std::int32_t version;
    bool accepted;
};

class VersionCheck : public PlugsweepTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionCheck, RefusedSystemsGetTheRequirementsAlertThenTerminate)
{
    const VersionCase c = GetParam();
    std::vector<platform::OSType> asked;
    platform::setGestaltOverride([&asked, c](platform::OSType selector, std::int32_t* response) {
        asked.push_back(selector);
        *response = c.version;
        return platform::noErr;
    });
    launch();
    EXPECT_EQ(asked, (std::vector<platform::OSType>{0x73797376}));
    if (c.accepted) {
        EXPECT_TRUE(alerts().empty());
        EXPECT_FALSE(terminated());
        return;
    }
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].alertKind, AlertKind::Critical);
    EXPECT_EQ(alerts()[0].detail, "txt:RequirementsMessageKey");
    EXPECT_EQ(alerts()[0].message, "");
    EXPECT_EQ(alerts()[0].button, "txt:STEXT_OK_BUTTON");
    EXPECT_TRUE(terminated());
    // The alert comes first; termination follows its dismissal.
    const auto& events = m_ui->events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().kind, HeadlessEvent::Kind::Alert);
    EXPECT_EQ(events.back().kind, HeadlessEvent::Kind::Terminate);
    EXPECT_TRUE(m_log.empty());
}

INSTANTIATE_TEST_SUITE_P(Boundaries, VersionCheck,
                         ::testing::Values(VersionCase{0x1060, true}, VersionCase{0x105F, false},
                                           VersionCase{0x1049, false}, VersionCase{0x1068, true},
                                           VersionCase{0x10B3, true}, VersionCase{0, false},
                                           VersionCase{-0x1070, false}));

TEST_F(ControllerStartup, FailingVersionQueryLogsOnceAndTerminatesWithoutAlert)
{
    platform::setGestaltOverride([](platform::OSType, std::int32_t* response) {
        *response = 0x1068;
        return platform::gestaltUndefSelectorErr;
    });
    launch();
    EXPECT_EQ(m_log, (std::vector<std::string>{"GestaltErr"}));
    EXPECT_TRUE(alerts().empty());
    EXPECT_TRUE(terminated());
}

TEST_F(ControllerStartup, RefusedSystemStillHasItsMenusRetitled)
{
    platform::setGestaltOverride([](platform::OSType, std::int32_t* response) {
        *response = 0x1058;
        return platform::noErr;
    });
    launch();
    EXPECT_EQ(m_menu->itemAtIndex(0)->submenu()->title(), "txt:MENU_APP");
    EXPECT_TRUE(terminated());
}

TEST_F(ControllerStartup, SupportedSystemKeepsRunningAndLogsNothing)
{
    launch();
    EXPECT_FALSE(terminated());
    EXPECT_TRUE(alerts().empty());
    EXPECT_TRUE(m_log.empty());
}

}  // namespace
}  // namespace plugsweep_test
