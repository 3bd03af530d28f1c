#include "UnInstaller/common/PlugsweepTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace plugsweep_test {
namespace {

using Strings = std::vector<std::string>;

struct Row {
    std::string check;
    std::string name;
    std::string identifier;
    std::string installPath;
};

struct Entry {
    std::string package;
    std::string identifier;
    std::string path;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& entry)
{
    return out << "{" << entry.package << ", " << entry.identifier << ", " << entry.path << "}";
}

class UninstallPlan : public PlugsweepTest {
protected:
    void setRows(const std::vector<Row>& rows)
    {
        Controller::StringArray checks, names, identifiers, paths;
        for (const Row& row : rows) {
            checks.push_back(row.check);
            names.push_back(row.name);
            identifiers.push_back(row.identifier);
            paths.push_back(row.installPath);
        }
        m_controller->setM_arrayCheck(checks);
        m_controller->setM_arrayName(names);
        m_controller->setM_arrayUUID(identifiers);
        m_controller->setM_arrayInstallPath(paths);
    }

    /// The plan's entries; each must hold exactly the three keys, all strings.
    std::vector<Entry> planEntries()
    {
        std::vector<Entry> result;
        std::optional<platform::PlistArray> entries = readPlanEntries();
        EXPECT_TRUE(entries.has_value());
        if (!entries)
            return result;
        for (const platform::PlistValue& value : *entries) {
            const platform::PlistDictionary* entry = value.asDictionary();
            EXPECT_NE(entry, nullptr);
            if (!entry)
                continue;
            EXPECT_EQ(entry->keys().size(), 3u);
            const std::string* package = entry->stringForKey("PKG");
            const std::string* identifier = entry->stringForKey("UUID");
            const std::string* path = entry->stringForKey("UnInstallPath");
            EXPECT_TRUE(package && identifier && path);
            if (package && identifier && path)
                result.push_back({*package, *identifier, *path});
        }
        return result;
    }
};

TEST_F(UninstallPlan, TickedRowsInRowOrder)
{
    setRows({{"CHK_ON", "Alpha vLX Module", "id-a", "/Library/Alpha/Alpha.plugin"},
             {"CHK_OFF", "Beta vLX", "id-b", "/Library/Beta/Beta.plugin"},
             {"CHK_ON", "Gamma vLX", "id-c", "/Library/Gamma/Sub/Gamma.plugin"}});
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    EXPECT_EQ(planEntries(), (std::vector<Entry>{{"com.tavix.QVR.Alpha", "id-a", "/Library/Alpha"},
                                                 {"com.tavix.QVR.Gamma", "id-c", "/Library/Gamma/Sub"}}));
    std::optional<platform::PlistDictionary> root = platform::dictionaryWithContentsOfFile(planPath());
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->keys(), (Strings{"UnInstallApps"}));
    EXPECT_EQ(readFile(planPath())->rfind("<?xml", 0), 0u);
    EXPECT_TRUE(m_log.empty());
}

TEST_F(UninstallPlan, PackageIsTheTextBeforeTheFirstBlank)
{
    setRows({{"CHK_ON", "Two  blanks vLX here", "id-1", "/a/b"},
             {"CHK_ON", " Leading vLX", "id-2", "/c/d"},
             {"CHK_ON", "Tab\tThen vLX", "id-3", "/e/f"}});
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    const std::vector<Entry> entries = planEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].package, "com.tavix.QVR.Two");
    EXPECT_EQ(entries[1].package, "com.tavix.QVR.");
    EXPECT_EQ(entries[2].package, "com.tavix.QVR.Tab\tThen");
}

TEST_F(UninstallPlan, OnlyTheExactOnStateCounts)
{
    setRows({{"chk_on", "A vLX", "id-1", "/a/b"}, {"CHK_ON ", "B vLX", "id-2", "/c/d"}, {"1", "C vLX", "id-3", "/e/f"}});
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    EXPECT_TRUE(planEntries().empty());
    EXPECT_NE(readFile(planPath())->find("<array/>"), std::string::npos);
}

TEST_F(UninstallPlan, NameWithoutBlankEndsTheWriteUntouchedAndUnlogged)
{
    writeFile(planPath(), "earlier plan");
    setRows({{"CHK_ON", "Alpha vLX", "id-a", "/a/A.plugin"},
             {"CHK_ON", "BetavLX", "id-b", "/b/B.plugin"},
             {"CHK_ON", "Gamma vLX", "id-c", "/c/C.plugin"}});
    EXPECT_FALSE(m_controller->saveUnInstallPlist());
    EXPECT_EQ(readFile(planPath()), "earlier plan");
    EXPECT_TRUE(m_log.empty());
}

TEST_F(UninstallPlan, UntickedNameWithoutBlankIsNoObstacle)
{
    setRows({{"CHK_OFF", "BetavLX", "id-b", "/b/B.plugin"}, {"CHK_ON", "Alpha vLX", "id-a", "/a/A.plugin"}});
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    EXPECT_EQ(planEntries(), (std::vector<Entry>{{"com.tavix.QVR.Alpha", "id-a", "/a"}}));
}

TEST_F(UninstallPlan, InstallPathLosesItsLastComponent)
{
    setRows({{"CHK_ON", "T vLX", "id-1", "/Library/Tavix/Module.plugin/"},
             {"CHK_ON", "S vLX", "id-2", "Module.plugin"},
             {"CHK_ON", "E vLX", "id-3", ""}});
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    const std::vector<Entry> entries = planEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, "/Library/Tavix");
    EXPECT_EQ(entries[1].path, "");
    EXPECT_EQ(entries[2].path, "");
}

TEST_F(UninstallPlan, PreviousPlanIsReplacedNotMerged)
{
    setRows({{"CHK_ON", "A vLX", "id-1", "/a/A"}, {"CHK_ON", "B vLX", "id-2", "/b/B"}});
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    ASSERT_EQ(planEntries().size(), 2u);
    setRows({{"CHK_OFF", "A vLX", "id-1", "/a/A"}, {"CHK_ON", "C vLX", "id-3", "/c/C"}});
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    EXPECT_EQ(planEntries(), (std::vector<Entry>{{"com.tavix.QVR.C", "id-3", "/c"}}));
}

TEST_F(UninstallPlan, FailedWriteLogsTheMessageOnce)
{
    std::filesystem::create_directories(planPath());
    setRows({{"CHK_ON", "A vLX", "id-1", "/a/A"}});
    EXPECT_FALSE(m_controller->saveUnInstallPlist());
    EXPECT_EQ(m_log, (Strings{"データの保存に失敗しました。"}));
}

TEST_F(UninstallPlan, MissingPreferencesFolderIsCreated)
{
    std::filesystem::remove_all(m_home + "/Library");
    setRows({{"CHK_ON", "A vLX", "id-1", "/a/A"}});
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    EXPECT_EQ(planEntries().size(), 1u);
}

TEST_F(UninstallPlan, RowsOfUnequalLengthWriteNothing)
{
    writeFile(planPath(), "earlier plan");
    m_controller->setM_arrayCheck(Controller::StringArray{"CHK_ON", "CHK_ON"});
    m_controller->setM_arrayName(Controller::StringArray{"A vLX", "B vLX"});
    m_controller->setM_arrayUUID(Controller::StringArray{"id-1"});
    m_controller->setM_arrayInstallPath(Controller::StringArray{"/a/A", "/b/B"});
    EXPECT_FALSE(m_controller->saveUnInstallPlist());
    EXPECT_EQ(readFile(planPath()), "earlier plan");
}

TEST_F(UninstallPlan, NoRowsAtAllGiveAnEmptyPlan)
{
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    EXPECT_TRUE(planEntries().empty());
}

TEST_F(UninstallPlan, RowsFromTheRegistryKeepTheirIdentifiers)
{
    writeRegistry({{"0D5A-11", "Alpha vLX Module", "/Library/Printers/Tavix/Alpha/Alpha.plugin"},
                   {"0D5A-12", "Beta vLX", "/Library/Printers/Tavix/Beta/Beta.plugin"}});
    start();
    ASSERT_TRUE(m_table->userToggle(1));
    ASSERT_TRUE(m_controller->saveUnInstallPlist());
    EXPECT_EQ(planEntries(),
              (std::vector<Entry>{{"com.tavix.QVR.Beta", "0D5A-12", "/Library/Printers/Tavix/Beta"}}));
}

}  // namespace
}  // namespace plugsweep_test
