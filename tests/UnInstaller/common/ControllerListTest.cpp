#include "UnInstaller/common/PlugsweepTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace plugsweep_test {
namespace {

using platform::ObjectValue;
using platform::PlistValue;
using Strings = std::vector<std::string>;

// The check box, the rows and the Uninstall button, event by event.

class ChecklistState : public PlugsweepTest {
protected:
    void SetUp() override
    {
        PlugsweepTest::SetUp();
        writeRegistry({{"id-a", "Alpha vLX", "/L/Alpha/Alpha.plugin"},
                       {"id-b", "Beta vLX", "/L/Beta/Beta.plugin"},
                       {"id-c", "Gamma vLX", "/L/Gamma/Gamma.plugin"}});
        start();
    }

    void expectBoxOff()
    {
        EXPECT_EQ(m_allSelectChk->state(), 0);
        EXPECT_EQ(m_allSelectChk->title(), "txt:STEXT_ALLSELECT");
    }
    void expectBoxOn()
    {
        EXPECT_EQ(m_allSelectChk->state(), 1);
        EXPECT_EQ(m_allSelectChk->title(), "txt:STEXT_ALLUNSELECT");
    }
};

TEST_F(ChecklistState, SetUpShowsEveryRowUnticked)
{
    EXPECT_EQ(names(), (Strings{"Alpha vLX", "Beta vLX", "Gamma vLX"}));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
    EXPECT_EQ(shownChecks(), (std::vector<platform::NSInteger>{0, 0, 0}));
    expectBoxOff();
    EXPECT_FALSE(m_uninstallButton->isEnabled());
    EXPECT_TRUE(m_table->isEnabled());
    EXPECT_TRUE(m_allSelectChk->isEnabled());
    EXPECT_TRUE(m_noListMessage->isHidden());
    EXPECT_GE(m_table->reloadCount(), 1u);
}

TEST_F(ChecklistState, TurningTheBoxOnTicksEveryRowAndOffUnticksThem)
{
    ASSERT_TRUE(m_allSelectChk->click());
    EXPECT_EQ(checks(), (Strings{"CHK_ON", "CHK_ON", "CHK_ON"}));
    EXPECT_EQ(shownChecks(), (std::vector<platform::NSInteger>{1, 1, 1}));
    expectBoxOn();
    EXPECT_TRUE(m_uninstallButton->isEnabled());

    ASSERT_TRUE(m_allSelectChk->click());
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
    expectBoxOff();
    EXPECT_FALSE(m_uninstallButton->isEnabled());
}

TEST_F(ChecklistState, TickingAndUntickingRows)
{
    ASSERT_TRUE(m_table->userToggle(1));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_ON", "CHK_OFF"}));
    expectBoxOff();
    EXPECT_TRUE(m_uninstallButton->isEnabled());

    ASSERT_TRUE(m_table->userToggle(2));
    ASSERT_TRUE(m_table->userToggle(1));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_ON"}));
    EXPECT_TRUE(m_uninstallButton->isEnabled());

    ASSERT_TRUE(m_table->userToggle(2));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
    expectBoxOff();
    EXPECT_FALSE(m_uninstallButton->isEnabled());
}

TEST_F(ChecklistState, BoxStaysOnWhenOneRowIsUntickedAndTheNextClickClearsAll)
{
    ASSERT_TRUE(m_allSelectChk->click());
    ASSERT_TRUE(m_table->userToggle(0));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_ON", "CHK_ON"}));
    expectBoxOn();
    EXPECT_TRUE(m_uninstallButton->isEnabled());

    ASSERT_TRUE(m_allSelectChk->click());
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
    expectBoxOff();
    EXPECT_FALSE(m_uninstallButton->isEnabled());
}

TEST_F(ChecklistState, UntickingEveryRowAfterTheBoxTurnsTheBoxOff)
{
    ASSERT_TRUE(m_allSelectChk->click());
    for (platform::NSInteger row = 0; row < 3; ++row)
        ASSERT_TRUE(m_table->userToggle(row));
    expectBoxOff();
    EXPECT_FALSE(m_uninstallButton->isEnabled());
}

TEST_F(ChecklistState, TickingEveryRowByHandLeavesTheBoxOff)
{
    for (platform::NSInteger row = 0; row < 3; ++row)
        ASSERT_TRUE(m_table->userToggle(row));
    EXPECT_EQ(checks(), (Strings{"CHK_ON", "CHK_ON", "CHK_ON"}));
    expectBoxOff();
    EXPECT_TRUE(m_uninstallButton->isEnabled());
}

TEST_F(ChecklistState, AllSelectDiscardsTicksSetByHand)
{
    ASSERT_TRUE(m_table->userToggle(0));
    ASSERT_TRUE(m_allSelectChk->click());
    ASSERT_TRUE(m_allSelectChk->click());
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
}

TEST_F(ChecklistState, CheckColumnShowsOneForEveryStateButCheckOff)
{
    m_controller->setM_arrayCheck(Controller::StringArray{"CHK_ON", "CHK_OFF", "chk_off", "", "CHK_OFF "});
    m_controller->setM_arrayName(Controller::StringArray{"a", "b", "c", "d", "e"});
    EXPECT_EQ(shownChecks(), (std::vector<platform::NSInteger>{1, 0, 1, 1, 1}));
}

TEST_F(ChecklistState, EditsOfTheCheckColumnStoreOnForAnyIntegerButZero)
{
    const std::size_t reloads = m_table->reloadCount();
    ASSERT_TRUE(m_table->userEdit("chk", 0, ObjectValue(PlistValue(2))));
    ASSERT_TRUE(m_table->userEdit("chk", 1, ObjectValue(PlistValue(-1))));
    EXPECT_EQ(checks(), (Strings{"CHK_ON", "CHK_ON", "CHK_OFF"}));
    EXPECT_TRUE(m_uninstallButton->isEnabled());
    EXPECT_EQ(m_table->reloadCount(), reloads + 2);

    ASSERT_TRUE(m_table->userEdit("chk", 0, ObjectValue(PlistValue(0))));
    ASSERT_TRUE(m_table->userEdit("chk", 1, ObjectValue()));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
    EXPECT_FALSE(m_uninstallButton->isEnabled());
}

TEST_F(ChecklistState, EditsOfOtherColumnsChangeNothing)
{
    const std::size_t reloads = m_table->reloadCount();
    ASSERT_TRUE(m_table->userEdit("name", 0, ObjectValue(PlistValue("Renamed"))));
    ASSERT_TRUE(m_table->userEdit("name", 1, ObjectValue(PlistValue(1))));
    EXPECT_EQ(names(), (Strings{"Alpha vLX", "Beta vLX", "Gamma vLX"}));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
    EXPECT_FALSE(m_uninstallButton->isEnabled());
    EXPECT_EQ(m_table->reloadCount(), reloads);

    platform::TableColumn other("size");
    m_controller->setObjectValue(m_table, ObjectValue(PlistValue(1)), &other, 0);
    m_controller->setObjectValue(m_table, ObjectValue(PlistValue(1)), nullptr, 0);
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
}

TEST_F(ChecklistState, OtherColumnsAndRowsOutsideTheListShowNothing)
{
    platform::TableColumn other("size");
    platform::TableColumn check("chk");
    EXPECT_FALSE(m_controller->objectValueForTableColumn(m_table, &other, 0).has_value());
    EXPECT_FALSE(m_controller->objectValueForTableColumn(m_table, nullptr, 0).has_value());
    EXPECT_FALSE(m_controller->objectValueForTableColumn(m_table, &check, 3).has_value());
    EXPECT_FALSE(m_controller->objectValueForTableColumn(m_table, &check, -1).has_value());
    m_controller->setObjectValue(m_table, ObjectValue(PlistValue(1)), &check, 3);
    m_controller->setObjectValue(m_table, ObjectValue(PlistValue(1)), &check, -1);
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF"}));
    const ObjectValue name = m_table->valueAt("name", 2);
    ASSERT_TRUE(name.has_value());
    ASSERT_NE(name->asString(), nullptr);
    EXPECT_EQ(*name->asString(), "Gamma vLX");
}

TEST_F(ChecklistState, RegistryChangedAfterStartUpHasNoEffect)
{
    writeRegistry({{"id-z", "Zeta vLX", "/L/Zeta/Zeta.plugin"}});
    ASSERT_TRUE(m_allSelectChk->click());
    EXPECT_EQ(names(), (Strings{"Alpha vLX", "Beta vLX", "Gamma vLX"}));
    writeRegistryText("not a property list");
    ASSERT_TRUE(m_allSelectChk->click());
    EXPECT_EQ(identifiers(), (Strings{"id-a", "id-b", "id-c"}));
}

TEST_F(ChecklistState, RowsShareTheRegistrysStringsAndATickChangesOnlyItsOwnRow)
{
    const platform::PlistDictionary& modules = *m_controller->kepl2Dict();
    for (std::size_t row = 0; row < 3; ++row) {
        const std::string& id = (*m_controller->arrayUUID())[row];
        const platform::PlistDictionary* entry = modules.dictionaryForKey(id);
        ASSERT_NE(entry, nullptr) << id;
        EXPECT_TRUE((*m_controller->arrayUUID())[row].value().sharesWith(modules.keyValueAt(row))) << id;
        EXPECT_TRUE((*m_controller->arrayName())[row].value().sharesWith(*entry->find("ModuleName"))) << id;
        EXPECT_TRUE((*m_controller->arrayInstallPath())[row].value().sharesWith(*entry->find("InstallPath"))) << id;
    }
    // The rows' check states share one text until a row is ticked.
    EXPECT_TRUE((*m_controller->arrayCheck())[0].value().sharesWith((*m_controller->arrayCheck())[2].value()));
    ASSERT_TRUE(m_table->userToggle(1));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_ON", "CHK_OFF"}));
    EXPECT_EQ(names(), (Strings{"Alpha vLX", "Beta vLX", "Gamma vLX"}));
    EXPECT_EQ(*modules.dictionaryForKey("id-b")->stringForKey("ModuleName"), "Beta vLX");
}

TEST_F(ChecklistState, RebuildsGiveTheSameRowsInTheSameOrder)
{
    const Strings before = identifiers();
    m_controller->makeSelectListView();
    m_controller->makeSelectListView();
    EXPECT_EQ(identifiers(), before);
    EXPECT_EQ(installPaths(), (Strings{"/L/Alpha/Alpha.plugin", "/L/Beta/Beta.plugin", "/L/Gamma/Gamma.plugin"}));
}

// What the registry holds and which rows it gives.

class Registry : public PlugsweepTest {
protected:
    // A registry that is there but refused leaves one log line saying why; none otherwise.
    void expectNoList(std::size_t logLines = 0)
    {
        EXPECT_EQ(m_table->numberOfRows(), 0);
        EXPECT_FALSE(m_noListMessage->isHidden());
        EXPECT_FALSE(m_table->isEnabled());
        EXPECT_FALSE(m_allSelectChk->isEnabled());
        EXPECT_EQ(m_allSelectChk->state(), 0);
        EXPECT_EQ(m_allSelectChk->title(), "txt:STEXT_ALLSELECT");
        EXPECT_FALSE(m_uninstallButton->isEnabled());
        EXPECT_TRUE(alerts().empty());
        ASSERT_EQ(m_log.size(), logLines);
        for (const std::string& line : m_log)
            EXPECT_NE(line.find("The module registry " + registryPath() + " was not read: it "), std::string::npos)
                << line;
    }
};

struct UnusableRegistry {
    const char* what;
    const char* contents;  // null: no file at all
};

class UnusableRegistryFile : public Registry, public ::testing::WithParamInterface<UnusableRegistry> {};

TEST_P(UnusableRegistryFile, GivesNoListAndNoModuleDictionary)
{
    if (GetParam().contents)
        writeRegistryText(GetParam().contents);
    start();
    EXPECT_FALSE(m_controller->kepl2Dict().has_value());
    EXPECT_FALSE(m_controller->arrayCheck().has_value());
    expectNoList(GetParam().contents ? 1 : 0);
    // An all-select click cannot reach a disabled box, and a rebuild keeps the picture.
    EXPECT_FALSE(m_allSelectChk->click());
    m_controller->makeSelectListView();
    expectNoList(GetParam().contents ? 1 : 0);
}

constexpr const char* kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, UnusableRegistryFile,
    ::testing::Values(
        UnusableRegistry{"missing", nullptr}, UnusableRegistry{"empty", ""},
        UnusableRegistry{"garbage", "KEP2_KEY_MODULES = { }"},
        UnusableRegistry{"truncated", "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict>\n<key>KEP2"},
        UnusableRegistry{"rootArray", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"},
        UnusableRegistry{"noModules",
                         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>KEP2_KEY_VERSION</key>"
                         "<string>2</string></dict></plist>"},
        UnusableRegistry{"modulesNotADictionary",
                         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>KEP2_KEY_MODULES</key>"
                         "<array><dict><key>ModuleName</key><string>A vLX</string></dict></array></dict></plist>"},
        UnusableRegistry{"caseDifferingKey",
                         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>kep2_key_modules</key>"
                         "<dict/></dict></plist>"}),
    [](const ::testing::TestParamInfo<UnusableRegistry>& info) { return std::string(info.param.what); });

TEST_F(Registry, RegistryIsAFolderIsSaidInTheWindowAndLogged)
{
    std::filesystem::create_directories(registryPath());
    start();
    EXPECT_FALSE(m_controller->kepl2Dict().has_value());
    expectNoList(1);
    EXPECT_EQ(m_noListMessage->stringValue(), "txt:STEXT_REGISTRY_UNREADABLE");
}

TEST_F(Registry, EmptyModuleDictionaryGivesNoRows)
{
    writeRegistry({});
    start();
    EXPECT_TRUE(m_controller->kepl2Dict().has_value());
    EXPECT_EQ(checks(), Strings{});
    expectNoList();
}

TEST_F(Registry, NoNameWithTheMarkGivesNoRows)
{
    writeRegistry({{"id-1", "Alpha VLX", "/a/A.plugin"},
                   {"id-2", "vlx Beta", "/b/B.plugin"},
                   {"id-3", "Gamma v LX", "/c/C.plugin"},
                   {"id-4", "Delta", "/d/D.plugin"}});
    start();
    expectNoList();
    // The controller keeps only the entries that rows show.
    EXPECT_EQ(m_controller->kepl2Dict()->size(), 0u);
}

TEST_F(Registry, TheMarkAnywhereInTheNameIsListed)
{
    writeRegistry({{"id-start", "vLX Start", "/s/S.plugin"},
                   {"id-upper", "Upper VLX", "/u/U.plugin"},
                   {"id-middle", "Mid vLX Module", "/m/M.plugin"},
                   {"id-end", "Ending vLX", "/e/E.plugin"},
                   {"id-glued", "GluedvLXName", "/g/G.plugin"}});
    start();
    EXPECT_EQ(identifiers(), (Strings{"id-start", "id-middle", "id-end", "id-glued"}));
    EXPECT_EQ(names(), (Strings{"vLX Start", "Mid vLX Module", "Ending vLX", "GluedvLXName"}));
    EXPECT_EQ(installPaths(), (Strings{"/s/S.plugin", "/m/M.plugin", "/e/E.plugin", "/g/G.plugin"}));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF", "CHK_OFF", "CHK_OFF", "CHK_OFF"}));
}

TEST_F(Registry, RowsKeepTheFilesOrder)
{
    writeRegistry({{"zz", "Z vLX", "/z/Z.plugin"}, {"aa", "A vLX", "/a/A.plugin"}, {"mm", "M vLX", "/m/M.plugin"}});
    start();
    EXPECT_EQ(identifiers(), (Strings{"zz", "aa", "mm"}));
}

TEST_F(Registry, BinaryRegistryIsReadLikeXml)
{
    writeRegistry({{"id-1", "Alpha vLX", "/a/A.plugin"}, {"id-2", "Beta", "/b/B.plugin"},
                   {"id-3", "Gamma vLX", "/c/C.plugin"}},
                  platform::PlistFormat::Binary);
    ASSERT_EQ(readFile(registryPath())->substr(0, 8), "bplist00");
    start();
    EXPECT_EQ(identifiers(), (Strings{"id-1", "id-3"}));
    EXPECT_EQ(names(), (Strings{"Alpha vLX", "Gamma vLX"}));
}

TEST_F(Registry, EntriesOfTheWrongShapeAreSkipped)
{
    writeRegistryText(std::string(kHeader) +
                      "<dict><key>KEP2_KEY_MODULES</key><dict>"
                      "<key>notDict</key><string>A vLX</string>"
                      "<key>nameNumber</key><dict><key>ModuleName</key><integer>7</integer>"
                      "<key>InstallPath</key><string>/n/N.plugin</string></dict>"
                      "<key>noName</key><dict><key>InstallPath</key><string>/x/X.plugin</string></dict>"
                      "<key>noPath</key><dict><key>ModuleName</key><string>NoPath vLX</string></dict>"
                      "<key>pathArray</key><dict><key>ModuleName</key><string>Arr vLX</string>"
                      "<key>InstallPath</key><array><string>/p</string></array></dict>"
                      "<key>good</key><dict><key>ModuleName</key><string>Good vLX</string>"
                      "<key>InstallPath</key><string>/g/Good.plugin</string><key>Extra</key><true/></dict>"
                      "</dict><key>Other</key><integer>1</integer></dict></plist>");
    start();
    EXPECT_EQ(identifiers(), (Strings{"good"}));
    EXPECT_EQ(names(), (Strings{"Good vLX"}));
    EXPECT_EQ(installPaths(), (Strings{"/g/Good.plugin"}));
    EXPECT_EQ(checks(), (Strings{"CHK_OFF"}));
}

TEST_F(Registry, ReadOnlyOnceAtSetUp)
{
    writeRegistry({{"id-1", "Alpha vLX", "/a/A.plugin"}});
    start();
    std::filesystem::remove(registryPath());
    m_controller->makeSelectListView();
    EXPECT_EQ(identifiers(), (Strings{"id-1"}));
    EXPECT_TRUE(m_controller->getKEPL2Dict() == std::nullopt);
}

TEST_F(Registry, RegistryIsLookedUpUnderTheMachineRoot)
{
    writeRegistry({{"id-1", "Alpha vLX", "/a/A.plugin"}});
    setenv("PLATFORM_ROOT", (m_dir + "/elsewhere").c_str(), 1);
    EXPECT_FALSE(m_controller->getKEPL2Dict().has_value());
    setenv("PLATFORM_ROOT", m_root.c_str(), 1);
    EXPECT_TRUE(m_controller->getKEPL2Dict().has_value());
}

}  // namespace
}  // namespace plugsweep_test

namespace plugsweep_test {
namespace {

// Rows the removal program would refuse are offered disabled, with the reason.

class RefusedRows : public PlugsweepTest {};

TEST_F(RefusedRows, ModulesOutsideTheFoldersOrWithUnsafePathsAreDisabledAndNeverTicked)
{
    writeRegistry({{"id-in", "Inside vLX", "/L/In/In.plugin"},
                   {"id-out", "Outside vLX", "/opt/elsewhere/Out.plugin"},
                   {"id-dots", "Dots vLX", "/L/../etc/Dots.plugin"},
                   {"id-rel", "Relative vLX", "L/Rel.plugin"}});
    start();
    ASSERT_EQ(names(), (Strings{"Inside vLX", "Outside vLX", "Dots vLX", "Relative vLX"}));
    EXPECT_TRUE(m_table->isCellEnabled("chk", 0));
    for (platform::NSInteger row : {1, 2, 3}) {
        EXPECT_FALSE(m_table->isCellEnabled("chk", row)) << row;
        EXPECT_FALSE(m_table->userToggle(row)) << row;
    }
    const Controller::StringArray reasons = *m_controller->arrayReason();
    EXPECT_EQ(reasons[0], "");
    EXPECT_EQ(reasons[1], "txt:STEXT_ROW_OUTSIDE");
    EXPECT_EQ(reasons[2], "txt:STEXT_ROW_UNSAFE");
    EXPECT_EQ(reasons[3], "txt:STEXT_ROW_UNSAFE");

    // Select All ticks only what can be removed, and the plan holds only that.
    ASSERT_TRUE(m_allSelectChk->click());
    EXPECT_EQ(checks(), (Strings{"CHK_ON", "CHK_OFF", "CHK_OFF", "CHK_OFF"}));
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    const std::optional<platform::PlistArray> entries = readPlanEntries();
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ(*(*entries)[0].asDictionary()->stringForKey("UUID"), "id-in");
}

TEST_F(RefusedRows, ASettingThatCannotBeTrustedDisablesEveryRowAndIsLogged)
{
    writeFile(m_root + "/etc/plugsweep/module-folders", "/L\n", 0666);
    writeRegistry({{"id-in", "Inside vLX", "/L/In/In.plugin"}});
    start();
    EXPECT_FALSE(m_table->isCellEnabled("chk", 0));
    EXPECT_EQ((*m_controller->arrayReason())[0], "txt:STEXT_ROW_NO_SETTING");
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_NE(m_log[0].find("is writable by group or others"), std::string::npos) << m_log[0];
}

}  // namespace
}  // namespace plugsweep_test
