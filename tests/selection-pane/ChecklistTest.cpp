#include "selection-pane/LogicFixture.h"

#include "selection-pane/APPViewControl_LayoutPlugin.h"

#include "platform/headless/HeadlessControls.h"

namespace oxlade::test {
namespace {

using platform::PlistValue;
using platform::headless::HeadlessButton;
using platform::headless::HeadlessTableView;

/// Records every Continue-button state it is told.
class RecordingDelegate : public APPViewDelegate {
public:
    void setNextButtonState(bool enabled) override { states.push_back(enabled); }
    std::vector<bool> states;
};

class Checklist : public LogicFixture {
protected:
    void SetUp() override
    {
        LogicFixture::SetUp();
        controller.connectOutlet("m_uiTableView", &table);
        controller.connectOutlet("m_uiLayoutInstall", &layoutSwitch);
        controller.setDelegate(&delegate);
    }

    /// A bundle whose catalogue holds apps and whose English table names each "APPNameKey"
    /// "<key> name".
    void useCatalogue(std::vector<platform::PlistDictionary> apps)
    {
        Texts texts{{"LAYOUTPLUGIN_BUTTON", "Layout plug-in too"}};
        for (const auto& app : apps) {
            if (const auto* key = app.stringForKey("APPNameKey"))
                texts[*key] = *key + " name";
        }
        addBundle(BundleContents().withCatalogue(catalogue(std::move(apps))).table("English", texts));
    }

    std::vector<std::string> shownNames()
    {
        std::vector<std::string> names;
        for (platform::NSInteger row = 0; row < table.numberOfRows(); ++row) {
            const auto value = table.valueAt("name", row);
            names.push_back(value && value->asString() ? *value->asString() : "<none>");
        }
        return names;
    }

    std::vector<platform::NSInteger> shownTicks()
    {
        std::vector<platform::NSInteger> ticks;
        for (platform::NSInteger row = 0; row < table.numberOfRows(); ++row)
            ticks.push_back(platform::intValue(table.valueAt("chk", row)));
        return ticks;
    }

    /// A PS host whose path file names an existing plug-in folder.
    platform::PlistDictionary foundHost(const std::string& key)
    {
        writePathFile("path." + key, pathFileBytes(folder("hosts/" + key)));
        return entry({{"PluginType", "PS"}, {"APPNameKey", key.c_str()}}, std::vector<std::string>{"path." + key});
    }

    APPViewControl_LayoutPlugin controller;
    HeadlessTableView table{"m_uiTableView", {"chk", "name"}};
    HeadlessButton layoutSwitch{"m_uiLayoutInstall", HeadlessButton::Kind::CheckBox};
    RecordingDelegate delegate;
};

TEST_F(Checklist, ConnectingTheTableMakesTheControllerItsDataSourceAndDelegate)
{
    EXPECT_EQ(table.dataSource(), &controller);
    EXPECT_EQ(table.delegate(), &controller);
    EXPECT_EQ(table.numberOfRows(), 0);
}

TEST_F(Checklist, FirstVisitStartsUntickedWithContinueDisabled)
{
    useCatalogue({foundHost("A"), foundHost("B")});
    controller.initUI(std::nullopt);
    EXPECT_EQ(shownTicks(), (std::vector<platform::NSInteger>{0, 0}));
    EXPECT_EQ(*controller.arrayCheck(), (std::vector<std::string>{"CHK_OFF", "CHK_OFF"}));
    EXPECT_EQ(delegate.states, std::vector<bool>{false});
    EXPECT_GE(table.reloadCount(), 1u);

    delegate.states.clear();
    ASSERT_TRUE(table.userToggle(1));
    EXPECT_EQ(shownTicks(), (std::vector<platform::NSInteger>{0, 1}));
    EXPECT_EQ(delegate.states, (std::vector<bool>{false, true}));
}

TEST_F(Checklist, PreviousSelectionTicksItsRowsAndEnablesContinueAtOnce)
{
    useCatalogue({foundHost("A"), foundHost("B"), foundHost("C")});
    controller.initUI(std::vector<std::string>{"C", "A", "NOT_IN_CATALOGUE"});
    EXPECT_EQ(*controller.arrayCheck(), (std::vector<std::string>{"CHK_ON", "CHK_OFF", "CHK_ON"}));
    EXPECT_EQ(delegate.states, (std::vector<bool>{false, true}));
    EXPECT_TRUE(controller.getSelectAPP("C"));
    EXPECT_FALSE(controller.getSelectAPP("c"));
}

TEST_F(Checklist, NamesAreLocalizedAndRowsKeepCatalogueOrderWithoutSkippedEntries)
{
    useCatalogue({entry({{"PluginType", "QVR"}, {"APPNameKey", "VIEWER"}}), foundHost("A"),
                  entry({{"APPNameKey", "NO_TYPE"}}), entry({{"PluginType", "OTHER"}, {"APPNameKey", "B"}}),
                  entry({{"PluginType", "OTHER"}})});
    controller.initUI(std::nullopt);
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"A name", "B name", ""}));
    ASSERT_TRUE(controller.appArray());
    EXPECT_EQ(controller.appArray()->size(), 3u);
    EXPECT_EQ(controller.arrayEnable()->size(), 3u);
    EXPECT_EQ(controller.arrayName()->size(), 3u);
}

TEST_F(Checklist, NoCatalogueGivesAnEmptyTableAndContinueDisabled)
{
    controller.initUI(std::vector<std::string>{"A"});
    EXPECT_EQ(table.numberOfRows(), 0);
    EXPECT_EQ(delegate.states, std::vector<bool>{false});
}

TEST_F(Checklist, EnableRulesFollowTheHostsOnDisk)
{
    writePathFile("path.missing", pathFileBytes(m_temp / "no-such-folder"));
    const std::string existing = folder("own-folder");
    const std::string missing = m_temp / "missing-folder";
    useCatalogue({
        foundHost("FOUND"),
        entry({{"PluginType", "PS"}, {"APPNameKey", "NO_PATHS_FILES"}}),
        entry({{"PluginType", "PS"}, {"APPNameKey", "NOT_FOUND"}}, std::vector<std::string>{"path.missing", "none"}),
        entry({{"PluginType", "PS"}, {"APPNameKey", "PS_SELF"}}),
        entry({{"PluginType", "PS"}, {"APPNameKey", "PS_SELF"}, {"InstallPath", missing.c_str()}}),
        entry({{"PluginType", "PS"}, {"APPNameKey", "PS_SELF"}, {"InstallPath", existing.c_str()}}),
        entry({{"PluginType", "FIXED"}, {"APPNameKey", "PS_SELF"}, {"InstallPath", missing.c_str()}}),
        entry({{"PluginType", "FIXED"}, {"APPNameKey", "FIXED_HOST"}, {"InstallPath", missing.c_str()}}),
        entry({{"PluginType", "ps"}, {"APPNameKey", "LOWER_CASE_TYPE"}}),
    });
    controller.initUI(std::nullopt);
    const std::vector<std::string> expected = {"Enable", "Disable", "Disable", "Enable", "Disable",
                                               "Enable", "Enable",  "Enable",  "Enable"};
    EXPECT_EQ(*controller.arrayEnable(), expected);
    for (std::size_t row = 0; row < expected.size(); ++row) {
        const bool enabled = expected[row] == "Enable";
        const auto r = static_cast<platform::NSInteger>(row);
        EXPECT_EQ(table.isCellEnabled("chk", r), enabled) << "row " << row;
        EXPECT_EQ(table.isCellEnabled("name", r), enabled) << "row " << row;
        EXPECT_EQ(table.userToggle(r), enabled) << "row " << row;
    }
}

TEST_F(Checklist, DisabledRowTickedByThePreviousSelectionKeepsContinueEnabled)
{
    useCatalogue({entry({{"PluginType", "PS"}, {"APPNameKey", "GONE"}}, std::vector<std::string>{"missing"}),
                  foundHost("A")});
    controller.initUI(std::vector<std::string>{"GONE"});
    EXPECT_EQ(shownTicks(), (std::vector<platform::NSInteger>{1, 0}));
    EXPECT_EQ(delegate.states, (std::vector<bool>{false, true}));
    EXPECT_FALSE(table.userToggle(0)) << "the user cannot untick a disabled row";
    EXPECT_EQ(shownTicks(), (std::vector<platform::NSInteger>{1, 0}));
}

TEST_F(Checklist, AnyNonZeroValueTicksAndZeroUnticks)
{
    useCatalogue({foundHost("A"), foundHost("B"), foundHost("C")});
    controller.initUI(std::nullopt);
    ASSERT_TRUE(table.userEdit("chk", 2, PlistValue(-1)));
    ASSERT_TRUE(table.userEdit("chk", 0, PlistValue(2)));
    EXPECT_EQ(*controller.arrayCheck(), (std::vector<std::string>{"CHK_ON", "CHK_OFF", "CHK_ON"}));
    ASSERT_TRUE(table.userEdit("chk", 2, PlistValue(0)));
    ASSERT_TRUE(table.userEdit("chk", 1, std::nullopt));
    EXPECT_EQ(*controller.arrayCheck(), (std::vector<std::string>{"CHK_ON", "CHK_OFF", "CHK_OFF"}));
}

TEST_F(Checklist, EditsOfOtherColumnsAndMissingRowsAreIgnored)
{
    useCatalogue({foundHost("A")});
    controller.initUI(std::nullopt);
    delegate.states.clear();
    const auto reloads = table.reloadCount();
    table.userEdit("name", 0, PlistValue(1));
    platform::TableColumn check("chk");
    controller.setObjectValue(&table, PlistValue(1), &check, 5);
    controller.setObjectValue(&table, PlistValue(1), &check, -1);
    EXPECT_EQ(*controller.arrayCheck(), std::vector<std::string>{"CHK_OFF"});
    EXPECT_TRUE(delegate.states.empty());
    EXPECT_EQ(table.reloadCount(), reloads);
}

TEST_F(Checklist, UntickingTheLastTickedRowSendsOnlyNo)
{
    useCatalogue({foundHost("A"), foundHost("B")});
    controller.initUI(std::vector<std::string>{"B"});
    delegate.states.clear();
    const auto reloads = table.reloadCount();
    ASSERT_TRUE(table.userToggle(1));
    EXPECT_EQ(delegate.states, std::vector<bool>{false});
    EXPECT_GT(table.reloadCount(), reloads) << "an edit reloads the table";
}

TEST_F(Checklist, LayoutSwitchIsTitledUntickedAndHiddenWhatever)
{
    useCatalogue({foundHost("A")});
    layoutSwitch.setState(1);
    controller.initUI(std::nullopt);
    EXPECT_EQ(layoutSwitch.title(), "Layout plug-in too");
    EXPECT_EQ(layoutSwitch.state(), 0);
    EXPECT_TRUE(layoutSwitch.isHidden());
    EXPECT_EQ(controller.layoutInstallCheck(), 0);

    layoutSwitch.setState(1);
    layoutSwitch.setHidden(false);
    table.userToggle(0);
    EXPECT_EQ(layoutSwitch.state(), 0) << "every tick change resets the switch";
    EXPECT_TRUE(layoutSwitch.isHidden());
}

TEST_F(Checklist, LayoutInstallCheckAnswersTheSwitchState)
{
    layoutSwitch.setState(-1);
    EXPECT_EQ(controller.layoutInstallCheck(), -1);
    APPViewControl_LayoutPlugin unconnected;
    EXPECT_EQ(unconnected.layoutInstallCheck(), 0);
}

TEST_F(Checklist, CellValuesByColumn)
{
    useCatalogue({foundHost("A")});
    controller.initUI(std::vector<std::string>{"A"});
    EXPECT_EQ(table.valueAt("chk", 0), PlistValue(1));
    EXPECT_EQ(table.valueAt("name", 0), PlistValue("A name"));
    platform::TableColumn other("other");
    EXPECT_FALSE(controller.objectValueForTableColumn(&table, &other, 0));
    platform::TableColumn check("chk");
    EXPECT_FALSE(controller.objectValueForTableColumn(&table, &check, 1));

    controller.setM_arrayCheck(std::vector<std::string>{"something else"});
    EXPECT_EQ(table.valueAt("chk", 0), PlistValue(1)) << "only CHK_OFF shows unticked";
}

TEST_F(Checklist, TerminateUIDropsTheRowsButKeepsTheRest)
{
    useCatalogue({foundHost("A")});
    addBundle(BundleContents().withCatalogue(catalogue({}, {{"SupportLayoutPlugin", "YES"}, {"SupportDriverVersion", "1"}})), "second");
    controller.initUI(std::vector<std::string>{"A"});
    EXPECT_TRUE(controller.supportLayoutPlugin());
    const auto reloads = table.reloadCount();
    controller.terminateUI();
    EXPECT_EQ(controller.numberOfRowsInTableView(&table), 0);
    EXPECT_FALSE(controller.selectArray());
    EXPECT_FALSE(controller.appArray());
    EXPECT_FALSE(controller.arrayName());
    EXPECT_FALSE(controller.arrayEnable());
    EXPECT_FALSE(controller.supportDrvVer());
    EXPECT_TRUE(controller.supportLayoutPlugin());
    EXPECT_EQ(controller.delegate(), &delegate);
    EXPECT_EQ(table.reloadCount(), reloads);
}

TEST_F(Checklist, EachVisitSeesHostsThatAppeared)
{
    useCatalogue({entry({{"PluginType", "PS"}, {"APPNameKey", "LATE"}}, std::vector<std::string>{"path.LATE"})});
    controller.initUI(std::nullopt);
    EXPECT_EQ(*controller.arrayEnable(), std::vector<std::string>{"Disable"});
    controller.terminateUI();
    writePathFile("path.LATE", pathFileBytes(folder("late-host")));
    controller.initUI(std::nullopt);
    EXPECT_EQ(*controller.arrayEnable(), std::vector<std::string>{"Enable"});
}

TEST_F(Checklist, WithoutADelegateNothingIsTold)
{
    useCatalogue({foundHost("A")});
    controller.setDelegate(nullptr);
    controller.initUI(std::vector<std::string>{"A"});
    EXPECT_TRUE(delegate.states.empty());
    EXPECT_TRUE(table.userToggle(0));
}

}  // namespace
}  // namespace oxlade::test
