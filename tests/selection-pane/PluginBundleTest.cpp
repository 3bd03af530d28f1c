#include "selection-pane/PaneTestSupport.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/headless/HeadlessControls.h"
#include "platform/headless/HeadlessUi.h"
#include "platform/installer/InstallerPane.h"
#include "platform/installer/InstallerSection.h"

namespace oxlade::test {
namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;
using platform::headless::HeadlessButton;
using platform::headless::HeadlessInterface;
using platform::headless::HeadlessTableView;
using platform::headless::ScopedHeadlessUi;

/// The assembled Oxlade.bundle loaded as the installer host loads it.
class Plugin : public PaneFixture {
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        bundle = platform::Bundle::bundleWithPath(std::string(BUILD_DIR) + "/Oxlade.bundle");
        ASSERT_TRUE(bundle);
        ASSERT_TRUE(bundle->load());
        auto factory = reinterpret_cast<platform::InstallerPaneFactory>(
            bundle->symbol(platform::kInstallerPaneFactorySymbol));
        ASSERT_NE(factory, nullptr);
        section = std::make_unique<platform::InstallerSection>(bundle, shared);
        pane.reset(factory(section.get()));
        ASSERT_TRUE(pane);
    }

    void TearDown() override
    {
        pane.reset();
        PaneFixture::TearDown();
    }

    std::shared_ptr<platform::Bundle> bundle;
    std::shared_ptr<PlistDictionary> shared = std::make_shared<PlistDictionary>();
    std::unique_ptr<platform::InstallerSection> section;
    std::unique_ptr<platform::InstallerPane> pane;
};

TEST_F(Plugin, FactoryInitialisesThePaneWithItsSection)
{
    EXPECT_EQ(pane->section(), section.get());
}

TEST_F(Plugin, ExportsNothingButTheEntryPoint)
{
    EXPECT_EQ(bundle->symbol("_ZN6oxlade11isValidUtf8ESt17basic_string_viewIcSt11char_traitsIcEE"), nullptr);
    EXPECT_EQ(bundle->symbol("_ZN6oxlade24LayoutPluginBundleLookup10codeBundleEv"), nullptr);
}

struct TitleCase {
    std::vector<std::string> languages;
    std::string title;
};

class PluginTitle : public Plugin, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(PluginTitle, TitleComesFromTheBundlesTables)
{
    setLanguages(GetParam().languages);
    EXPECT_EQ(pane->title(), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(Languages, PluginTitle,
                         ::testing::Values(TitleCase{{}, "Plug-in Selection"}, TitleCase{{"de"}, "Plug-in-Auswahl"},
                                           TitleCase{{"ja"}, "プラグインの選択"}, TitleCase{{"zh-Hans"}, "选择插件"},
                                           TitleCase{{"ko"}, "플러그인 선택"}, TitleCase{{"pt"}, "Plug-in Selection"}));

/// A visit of the pane with the headless controls standing in for the view description.
class PluginVisit : public Plugin {
protected:
    void SetUp() override
    {
        Plugin::SetUp();
        const auto path = bundle->pathForResource("InstallerPane", "ui");
        ASSERT_TRUE(path);
        headless.ui().registerInterface(*path, [this] {
            auto interface = std::make_unique<HeadlessInterface>("InstallerPane");
            table = interface->add(
                std::make_unique<HeadlessTableView>("m_uiTableView", std::vector<std::string>{"chk", "name"}));
            layoutSwitch =
                interface->add(std::make_unique<HeadlessButton>("m_uiLayoutInstall", HeadlessButton::Kind::CheckBox));
            interface->setProperty("m_uiTableView", "dataSource", "controller");
            interface->setProperty("m_uiTableView", "delegate", "controller");
            return std::unique_ptr<platform::Interface>(std::move(interface));
        });
    }

    void TearDown() override
    {
        pane.reset();
        Plugin::TearDown();
    }

    std::vector<std::string> names()
    {
        std::vector<std::string> shown;
        for (platform::NSInteger row = 0; row < table->numberOfRows(); ++row)
            shown.push_back(*table->valueAt("name", row)->asString());
        return shown;
    }

    ScopedHeadlessUi headless;
    HeadlessTableView* table = nullptr;
    HeadlessButton* layoutSwitch = nullptr;
};

TEST_F(PluginVisit, ShippedCatalogueBecomesTheChecklistAndThePlan)
{
    const std::string editor5 = folder("Editor 5/Plug-ins");
    writePathFile("com.tavix.PSPath.PE5", pathFileBytes(editor5));
    writePathFile("com.tavix.PSPath.PE6", pathFileBytes(m_temp / "Editor 6 was removed"));
    pane->contentView();
    ASSERT_NE(table, nullptr);
    pane->didEnterPane(platform::kInstallerDirectionForward);

    EXPECT_EQ(names(), (std::vector<std::string>{"Photo Editor 5", "Photo Editor 6", "Photo Editor 7", "Image Workshop 3",
                                                 "Another photo editor",
                                                 "Layout Designer 2", "Page Press 4"}));
    EXPECT_EQ(layoutSwitch->title(), "Also install the layout plug-in");
    EXPECT_TRUE(layoutSwitch->isHidden());
    EXPECT_FALSE(pane->nextEnabled());
    EXPECT_TRUE(table->isCellEnabled("chk", 0));
    EXPECT_FALSE(table->isCellEnabled("chk", 1));
    EXPECT_TRUE(table->isCellEnabled("chk", 4));
    EXPECT_TRUE(table->isCellEnabled("chk", 5));

    ASSERT_TRUE(table->userToggle(0));
    ASSERT_TRUE(table->userToggle(4));
    EXPECT_TRUE(pane->nextEnabled());
    headless.ui().queuePanelChoice("/Apps/My Editor/Plug-ins");
    ASSERT_TRUE(pane->shouldExitPane(platform::kInstallerDirectionForward));
    pane->didExitPane(platform::kInstallerDirectionForward);
    EXPECT_EQ(table->numberOfRows(), 0);

    const auto plan = platform::dictionaryWithContentsOfFile(planPath());
    ASSERT_TRUE(plan);
    const PlistArray* apps = plan->arrayForKey("InstallApps");
    ASSERT_TRUE(apps);
    ASSERT_EQ(apps->size(), 2u);
    const PlistDictionary& first = *(*apps)[0].asDictionary();
    EXPECT_EQ(*first.stringForKey("DeletePluginPath"), editor5);
    EXPECT_EQ(*first.stringForKey("PrintInstallPath"), editor5 + "/Import-Export");
    EXPECT_EQ(*first.stringForKey("LayoutInstallPath"), editor5 + "/Automate");
    const PlistDictionary& second = *(*apps)[1].asDictionary();
    EXPECT_EQ(*second.stringForKey("PrintInstallPath"), "/Apps/My Editor/Plug-ins");
    EXPECT_EQ(*second.stringForKey("LayoutInstallPath"), "/Apps/My Editor/Automate");

    ASSERT_TRUE(shared->arrayForKey("selectionAPPKey"));
    EXPECT_EQ(*shared->arrayForKey("selectionAPPKey"),
              (PlistArray{PlistValue("APP_PHOTO_EDITOR_5"), PlistValue("PS_SELF")}));
    EXPECT_EQ(*shared->stringForKey("LayoutPluginInstall"), "NO");
}

TEST_F(PluginVisit, ReturningRestoresTheTicksFromTheSharedDictionary)
{
    PlistArray earlier{PlistValue("APP_LAYOUT_DESIGNER_2")};
    shared->set("selectionAPPKey", earlier);
    pane->didEnterPane(platform::kInstallerDirectionBackward);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(platform::intValue(table->valueAt("chk", 5)), 1);
    EXPECT_TRUE(pane->nextEnabled());
}

}  // namespace
}  // namespace oxlade::test
