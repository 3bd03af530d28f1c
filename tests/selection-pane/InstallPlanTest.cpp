#include "selection-pane/LogicFixture.h"

#include "selection-pane/APPViewControl_LayoutPlugin.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/headless/HeadlessControls.h"
#include "platform/headless/HeadlessUi.h"

#include <filesystem>

namespace oxlade::test {
namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;
using platform::headless::HeadlessEvent;
using platform::headless::HeadlessTableView;
using platform::headless::ScopedHeadlessUi;

using Entry = std::map<std::string, std::string>;

class InstallPlan : public LogicFixture {
protected:
    void SetUp() override
    {
        LogicFixture::SetUp();
        controller.connectOutlet("m_uiTableView", &table);
    }

    /// A catalogue's fixed folder as the plan names it: on the machine, under its root.
    std::string onMachine(const std::string& folder) const { return root() + folder; }

    /// Shows the checklist for a catalogue with every row ticked by the previous selection.
    void showTicked(std::vector<PlistDictionary> apps)
    {
        std::vector<std::string> selection;
        for (const auto& app : apps) {
            if (const auto* key = app.stringForKey("APPNameKey"))
                selection.push_back(*key);
        }
        addBundle(BundleContents().withCatalogue(catalogue(std::move(apps))));
        controller.initUI(selection);
    }

    std::optional<PlistDictionary> plan() const { return platform::dictionaryWithContentsOfFile(planPath()); }

    /// The plan's "InstallApps" entries as plain maps of strings.
    std::vector<Entry> planEntries() const
    {
        std::vector<Entry> entries;
        const auto written = plan();
        if (!written)
            return entries;
        const PlistArray* apps = written->arrayForKey("InstallApps");
        if (!apps)
            return entries;
        for (const auto& value : *apps) {
            Entry entry;
            const PlistDictionary* dictionary = value.asDictionary();
            for (std::size_t i = 0; dictionary && i < dictionary->size(); ++i) {
                const auto* text = dictionary->valueAt(i).asString();
                entry[dictionary->keyAt(i)] = text ? *text : "<not a string>";
            }
            entries.push_back(entry);
        }
        return entries;
    }

    std::vector<std::string> panelStarts()
    {
        std::vector<std::string> starts;
        for (const auto& event : headless.ui().events()) {
            if (event.kind == HeadlessEvent::Kind::OpenPanel)
                starts.push_back(event.detail);
        }
        return starts;
    }

    /// A path file named name that names a new folder under the test's folder.
    std::string pathFileFor(const std::string& name, const std::string& relative)
    {
        const std::string plugins = folder(relative);
        writePathFile(name, pathFileBytes(plugins));
        return plugins;
    }

    ScopedHeadlessUi headless;
    APPViewControl_LayoutPlugin controller;
    HeadlessTableView table{"m_uiTableView", {"chk", "name"}};
};

TEST_F(InstallPlan, NoTickedRowWritesTheFixedKeysAndAnEmptyList)
{
    addBundle(BundleContents().withCatalogue(catalogue({entry({{"PluginType", "FIXED"}, {"APPNameKey", "A"}, {"InstallPath", "/x"}})})));
    controller.initUI(std::nullopt);
    ASSERT_TRUE(controller.saveInstallPlist());
    const auto written = plan();
    ASSERT_TRUE(written);
    EXPECT_EQ(written->size(), 3u);
    EXPECT_EQ(*written->stringForKey("MakeLayoutInstaller"), "YES");
    EXPECT_EQ(*written->stringForKey("LayoutPluginInstall"), "YES");
    ASSERT_TRUE(written->arrayForKey("InstallApps"));
    EXPECT_TRUE(written->arrayForKey("InstallApps")->empty());
    EXPECT_EQ(readFile(planPath())->rfind("<?xml", 0), 0u) << "the plan is an XML property list";
    EXPECT_TRUE(panelStarts().empty());
}

TEST_F(InstallPlan, PathFileRowGivesOneEntryPerResolvedPathFileInOrder)
{
    const std::string first = pathFileFor("p.one", "one/Plug-ins");
    const std::string second = pathFileFor("p.two", "two/Plug-ins");
    showTicked({entry({{"PluginType", "PS"}, {"APPNameKey", "HOST"}, {"ImportName", "Import"}, {"AutomationName", "Auto"}},
                      std::vector<std::string>{"p.two", "p.none", "p.one"})});
    ASSERT_TRUE(controller.saveInstallPlist());
    EXPECT_EQ(planEntries(), (std::vector<Entry>{
                                 {{"DeletePluginPath", second},
                                  {"PrintInstallPath", second + "/Import"},
                                  {"PluginType", "PS"},
                                  {"LayoutInstallPath", second + "/Auto"}},
                                 {{"DeletePluginPath", first},
                                  {"PrintInstallPath", first + "/Import"},
                                  {"PluginType", "PS"},
                                  {"LayoutInstallPath", first + "/Auto"}},
                             }))
        << "a path file that names no folder gives no entry";
    EXPECT_TRUE(panelStarts().empty());
}

TEST_F(InstallPlan, PathFileRowWithoutImportOrAutomationName)
{
    const std::string noImport = pathFileFor("p.noImport", "a/Plug-ins");
    const std::string noAutomation = pathFileFor("p.noAutomation", "b/Plug-ins");
    showTicked({entry({{"PluginType", "PS"}, {"APPNameKey", "NO_IMPORT"}, {"AutomationName", "Auto"}},
                      std::vector<std::string>{"p.noImport"}),
                entry({{"PluginType", "PS"}, {"APPNameKey", "NO_AUTOMATION"}, {"ImportName", "Import"}},
                      std::vector<std::string>{"p.noAutomation"})});
    ASSERT_TRUE(controller.saveInstallPlist());
    EXPECT_EQ(planEntries(), (std::vector<Entry>{
                                 {{"DeletePluginPath", noImport},
                                  {"PrintInstallPath", noImport},
                                  {"PluginType", "PS"},
                                  {"LayoutInstallPath", m_temp / "a/Auto"}},
                                 {{"DeletePluginPath", noAutomation},
                                  {"PrintInstallPath", noAutomation + "/Import"},
                                  {"PluginType", "PS"},
                                  {"LayoutInstallPath", noAutomation + "/Import"}},
                             }));
}

TEST_F(InstallPlan, PathFileRowWithoutPathFilesGivesNothingAndShowsNoPanel)
{
    PlistDictionary emptyList = entry({{"PluginType", "PS"}, {"APPNameKey", "EMPTY"}}, std::vector<std::string>{});
    showTicked({emptyList, entry({{"PluginType", "PS"}, {"APPNameKey", "ABSENT"}})});
    ASSERT_TRUE(controller.saveInstallPlist());
    EXPECT_TRUE(planEntries().empty());
    EXPECT_TRUE(panelStarts().empty());
}

TEST_F(InstallPlan, UserFolderRowAsksForTheFolderInTheHomeFolder)
{
    showTicked({entry({{"PluginType", "PS"}, {"APPNameKey", "PS_SELF"}, {"AutomationName", "ignored"}})});
    headless.ui().queuePanelChoice("/Volumes/Apps/Editor/Plug-ins");
    ASSERT_TRUE(controller.saveInstallPlist());
    EXPECT_EQ(panelStarts(), std::vector<std::string>{home()});
    EXPECT_EQ(planEntries(), (std::vector<Entry>{{{"DeletePluginPath", "NotDelete"},
                                                  {"PrintInstallPath", "/Volumes/Apps/Editor/Plug-ins"},
                                                  {"PluginType", "PS"},
                                                  {"LayoutInstallPath", "/Volumes/Apps/Editor/Automate"}}}));
}

TEST_F(InstallPlan, UserFolderRowOfAnyTypeWithoutAutomationName)
{
    showTicked({entry({{"PluginType", "OTHER"}, {"APPNameKey", "PS_SELF"}, {"InstallPath", "/unused"}})});
    headless.ui().queuePanelChoice("/chosen/folder");
    ASSERT_TRUE(controller.saveInstallPlist());
    EXPECT_EQ(planEntries(), (std::vector<Entry>{{{"DeletePluginPath", "NotDelete"},
                                                  {"PrintInstallPath", "/chosen/folder"},
                                                  {"PluginType", "OTHER"},
                                                  {"LayoutInstallPath", "/chosen/folder"}}}));
}

TEST_F(InstallPlan, FixedFolderRowHasNoDeletePath)
{
    showTicked({entry({{"PluginType", "FIXED"}, {"APPNameKey", "PLAIN"}, {"InstallPath", "/Apps/Plain/Plug-ins"}}),
                entry({{"PluginType", "FIXED"},
                       {"APPNameKey", "AUTO"},
                       {"InstallPath", "/Apps/Auto/Plug-ins"},
                       {"AutomationName", "whatever"}}),
                entry({{"PluginType", "ps"}, {"APPNameKey", "LOWER"}, {"InstallPath", "/Apps/Lower"}}),
                entry({{"PluginType", "FIXED"}, {"APPNameKey", "NO_PATH"}})});
    ASSERT_TRUE(controller.saveInstallPlist());
    EXPECT_EQ(planEntries(),
              (std::vector<Entry>{
                  {{"PrintInstallPath", onMachine("/Apps/Plain/Plug-ins")}, {"PluginType", "FIXED"}, {"LayoutInstallPath", onMachine("/Apps/Plain/Plug-ins")}},
                  {{"PrintInstallPath", onMachine("/Apps/Auto/Plug-ins")}, {"PluginType", "FIXED"}, {"LayoutInstallPath", onMachine("/Apps/Auto/Automate")}},
                  {{"PrintInstallPath", onMachine("/Apps/Lower")}, {"PluginType", "ps"}, {"LayoutInstallPath", onMachine("/Apps/Lower")}},
              }))
        << "a type differing from PS in case is a fixed folder; a fixed folder without a path gives nothing";
}

TEST_F(InstallPlan, OnlyTickedRowsCountEvenWhenDisabled)
{
    addBundle(BundleContents().withCatalogue(catalogue({
                   entry({{"PluginType", "FIXED"}, {"APPNameKey", "UNTICKED"}, {"InstallPath", "/a"}}),
                   entry({{"PluginType", "PS"}, {"APPNameKey", "PS_SELF"}}),
                   entry({{"PluginType", "PS"}, {"APPNameKey", "GONE"}, {"InstallPath", "/b"}},
                         std::vector<std::string>{"p.gone"}),
                   entry({{"PluginType", "FIXED"}, {"APPNameKey", "TICKED"}, {"InstallPath", "/c"}}),
               })));
    controller.initUI(std::vector<std::string>{"TICKED", "GONE"});
    // The disabled "GONE" row stays ticked; its path file appears only now.
    const std::string gone = pathFileFor("p.gone", "gone/Plug-ins");
    ASSERT_EQ(controller.arrayEnable()->at(2), "Disable");
    ASSERT_TRUE(controller.saveInstallPlist());
    const auto entries = planEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].at("DeletePluginPath"), gone);
    EXPECT_EQ(entries[1].at("PrintInstallPath"), onMachine("/c"));
    EXPECT_TRUE(panelStarts().empty()) << "the unticked user-folder row asks nothing";
}

TEST_F(InstallPlan, CancellingTheSecondFolderChoiceWritesNothing)
{
    writeFile(planPath(), "earlier plan");
    showTicked({entry({{"PluginType", "PS"}, {"APPNameKey", "PS_SELF"}}),
                entry({{"PluginType", "FIXED"}, {"APPNameKey", "MIDDLE"}, {"InstallPath", "/m"}}),
                entry({{"PluginType", "OTHER"}, {"APPNameKey", "PS_SELF"}})});
    ASSERT_EQ(controller.arrayCheck()->size(), 3u);
    headless.ui().queuePanelChoice("/first/choice");
    headless.ui().queuePanelCancel();
    EXPECT_FALSE(controller.saveInstallPlist());
    EXPECT_EQ(panelStarts().size(), 2u);
    EXPECT_EQ(readFile(planPath()), "earlier plan");
    EXPECT_TRUE(logLines().empty());

    headless.ui().queuePanelChoice("/again/one");
    headless.ui().queuePanelChoice("/again/two");
    ASSERT_TRUE(controller.saveInstallPlist()) << "the next Continue asks again";
    EXPECT_EQ(panelStarts().size(), 4u);
    const auto entries = planEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].at("PrintInstallPath"), "/again/one");
    EXPECT_EQ(entries[1].at("PrintInstallPath"), onMachine("/m"));
    EXPECT_EQ(entries[2].at("PrintInstallPath"), "/again/two");
}

TEST_F(InstallPlan, UnwritablePlanAnswersNoAndLogs)
{
    showTicked({entry({{"PluginType", "FIXED"}, {"APPNameKey", "A"}, {"InstallPath", "/a"}})});
    makeFolder(planPath());
    EXPECT_FALSE(controller.saveInstallPlist());
    EXPECT_EQ(logLines(), std::vector<std::string>{"データの保存に失敗しました。"});
}

TEST_F(InstallPlan, PreferencesThatIsAFileAnswersNoAndLogs)
{
    std::filesystem::remove_all(preferences());
    writeFile(preferences(), "not a folder");
    controller.initUI(std::nullopt);
    EXPECT_FALSE(controller.saveInstallPlist());
    EXPECT_EQ(logLines(), std::vector<std::string>{"データの保存に失敗しました。"});
}

TEST_F(InstallPlan, MissingPreferencesFolderIsMade)
{
    std::filesystem::remove_all(home() + "/Library");
    controller.initUI(std::nullopt);
    EXPECT_TRUE(controller.saveInstallPlist());
    EXPECT_TRUE(plan());
}

TEST_F(InstallPlan, EarlierPlanIsReplaced)
{
    writeFile(planPath(), std::string(10000, 'x'));
    showTicked({entry({{"PluginType", "FIXED"}, {"APPNameKey", "A"}, {"InstallPath", "/a"}})});
    ASSERT_TRUE(controller.saveInstallPlist());
    EXPECT_EQ(planEntries().size(), 1u);
}

TEST_F(InstallPlan, SelectionSheetAsksForOneFolderFromHome)
{
    headless.ui().queuePanelChoice("/picked");
    EXPECT_EQ(controller.selectionSheet(), "/picked");
    headless.ui().queuePanelCancel();
    EXPECT_EQ(controller.selectionSheet(), std::nullopt);
    EXPECT_EQ(panelStarts(), (std::vector<std::string>{home(), home()}));
}

TEST_F(InstallPlan, FolderChooserIsTitledWithTheRowsLocalizedName)
{
    setLanguages({"de"});
    const struct {
        Texts texts;
        std::string expectedTitle;
    } cases[] = {
        {{{"PS_SELF", "Anderer Fotoeditor"}, {"FOLDER_PANEL_TITLE", "Plug-in-Ordner von %@ auswählen"}},
         "Plug-in-Ordner von Anderer Fotoeditor auswählen"},
        {{{"PS_SELF", "Anderer Fotoeditor"}, {"FOLDER_PANEL_TITLE", "%@"}}, "Anderer Fotoeditor"},
        // A table without the title's entry still names the application.
        {{{"PS_SELF", "Anderer Fotoeditor"}}, "Anderer Fotoeditor"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expectedTitle);
        platform::resetLoadedBundles();
        addBundle(BundleContents()
                      .withCatalogue(catalogue({entry({{"PluginType", "PS"}, {"APPNameKey", "PS_SELF"}})}))
                      .table("German", c.texts),
                  "bundles" + std::to_string(n++));
        controller.initUI(std::vector<std::string>{"PS_SELF"});
        headless.ui().queuePanelChoice("/chosen");
        ASSERT_TRUE(controller.saveInstallPlist());
        ASSERT_FALSE(headless.ui().events().empty());
        EXPECT_EQ(headless.ui().events().back().kind, HeadlessEvent::Kind::OpenPanel);
        EXPECT_EQ(headless.ui().events().back().title, c.expectedTitle);
    }
}

TEST_F(InstallPlan, HeadingShowsTheLocalizedSentence)
{
    platform::headless::HeadlessTextField heading("m_uiHeading");
    EXPECT_TRUE(controller.connectOutlet("m_uiHeading", &heading));
    setLanguages({"ja"});
    addBundle(BundleContents()
                  .withCatalogue(catalogue({}))
                  .table("Japanese", {{"HEADING_MESSAGE", "アプリケーションを選択してください。"}}));
    controller.initUI(std::nullopt);
    EXPECT_EQ(heading.stringValue(), "アプリケーションを選択してください。");
}

}  // namespace
}  // namespace oxlade::test
