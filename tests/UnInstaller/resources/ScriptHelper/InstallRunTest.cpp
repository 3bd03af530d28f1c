// The install step as the other half of removal: what it places it records, removal takes exactly
// that away, and an install killed at any instant is finished or undone by the next run.

#include "ScriptHelperSandbox.h"

#include "UnInstaller/resources/ScriptHelper/InstallRun.h"
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/RemovalJournal.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Kind = scripthelper::RemovalEvent::Kind;

struct Host {
    std::string print;
    std::string layout;
    std::string deleteFrom;
};

class InstallRunTest : public ScriptHelperSandbox {
protected:
    void SetUp() override
    {
        ScriptHelperSandbox::SetUp();
        // The registry exists before the install, as on a machine where a driver is installed.
        writeRegistry({});
        userHost = {home + "/Apps/Photo Editor/Plug-ins/Import-Export", home + "/Apps/Photo Editor/Plug-ins/Automate",
                    home + "/Apps/Photo Editor/Plug-ins"};
        systemHost = {at("/Library/Printers/Tavix/Hosts/Layout/Print"), at("/Library/Printers/Tavix/Hosts/Layout/Automate"),
                      ""};
        makeFolder(userHost.deleteFrom);
    }

    void writeInstallPlan(const std::vector<Host>& hosts, bool layout = true)
    {
        platform::PlistArray apps;
        for (const Host& host : hosts) {
            platform::PlistDictionary entry;
            entry.set("PrintInstallPath", host.print);
            entry.set("LayoutInstallPath", host.layout);
            entry.set("PluginType", "PS");
            if (!host.deleteFrom.empty())
                entry.set("DeletePluginPath", host.deleteFrom);
            apps.push_back(entry);
        }
        platform::PlistDictionary plan;
        plan.set("MakeLayoutInstaller", "YES");
        plan.set("LayoutPluginInstall", layout ? "YES" : "NO");
        plan.set("InstallApps", apps);
        writeText(home + "/Library/Preferences/com.tavix.pluginInstall.plist", platform::xmlPropertyList(plan));
    }

    Result install()
    {
        std::ostringstream out;
        Result result;
        result.exitCode = scripthelper::InstallRun(out, {PAYLOAD_DIR, 2000}).run();
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);)
            result.allLines.push_back(line);
        return result;
    }

    std::vector<std::string> registeredIds()
    {
        std::string error;
        auto registry = scripthelper::ModuleRegistry::load(registryPath, &error);
        std::vector<std::string> ids;
        if (registry) {
            for (const auto& module : registry->modules())
                ids.push_back(module.uuid);
        }
        return ids;
    }

    std::optional<scripthelper::Receipt> receiptOf(const std::string& id)
    {
        std::string error;
        auto registry = scripthelper::ModuleRegistry::load(registryPath, &error);
        return registry ? registry->receipt(id) : std::nullopt;
    }

    /// Writes the uninstall plan for every registered module.
    void planRemovalOfAll()
    {
        std::string error;
        auto registry = scripthelper::ModuleRegistry::load(registryPath, &error);
        ASSERT_TRUE(registry) << error;
        std::vector<PlanEntry> entries;
        for (const auto& module : registry->modules())
            entries.push_back({module.uuid, fs::path(*module.installPath).parent_path().string()});
        writePlan(entries);
    }

    static bool linesHave(const Result& result, const std::string& start)
    {
        for (const std::string& line : result.allLines) {
            if (line.rfind(start, 0) == 0)
                return true;
        }
        return false;
    }

    Host userHost;
    Host systemHost;
};

TEST_F(InstallRunTest, InstallThenRemoveLeavesTheMachineAsItWas)
{
    const std::string oldCopy = userHost.deleteFrom + "/Old Print.plugin";
    fs::copy(std::string(PAYLOAD_DIR) + "/Print/TavixPrint.plugin", oldCopy, fs::copy_options::recursive);
    makeModuleFolder(userHost.deleteFrom + "/Foreign.plugin");
    writeInstallPlan({userHost, systemHost});
    // The older copy goes for good; everything else comes back as it was.
    auto before = snapshot();
    before.erase(oldCopy);
    for (auto it = before.begin(); it != before.end();)
        it = it->first.rfind(oldCopy + "/", 0) == 0 ? before.erase(it) : std::next(it);
    before.erase(home + "/Library/Preferences/com.tavix.pluginInstall.plist");
    const std::string registryBefore = registryBytes();

    const Result installed = install();
    ASSERT_EQ(installed.exitCode, 0) << ::testing::PrintToString(installed.allLines);
    EXPECT_TRUE(linesHave(installed, "old-removed " + scripthelper::InstallRun::moduleIdFor(userHost.print) + " " + oldCopy));
    EXPECT_FALSE(fs::exists(oldCopy));
    EXPECT_TRUE(fs::exists(userHost.deleteFrom + "/Foreign.plugin/Contents/Info.plist"));
    EXPECT_TRUE(fs::exists(userHost.print + "/TavixPrint.plugin/Contents/Info.plist"));
    EXPECT_TRUE(fs::exists(systemHost.layout + "/TavixLayout.plugin/Contents/MacOS/TavixLayout"));
    const auto ids = registeredIds();
    ASSERT_EQ(ids.size(), 2u);
    for (const std::string& id : ids) {
        const auto receipt = receiptOf(id);
        ASSERT_TRUE(receipt);
        EXPECT_FALSE(receipt->token.empty());
        for (const auto& item : receipt->items)
            EXPECT_TRUE(fs::exists(fs::symlink_status(item.path))) << item.path;
    }
    // The user's host folders are the user's side, the module folders the system's.
    const auto userReceipt = receiptOf(scripthelper::InstallRun::moduleIdFor(userHost.print));
    ASSERT_TRUE(userReceipt);
    for (const auto& item : userReceipt->items)
        EXPECT_EQ(item.userSide, item.path.rfind(home, 0) == 0) << item.path;

    planRemovalOfAll();
    const Result removed = run();
    EXPECT_EQ(removed.exitCode, 0) << ::testing::PrintToString(removed.allLines);
    fs::remove(planPath);
    auto after = snapshot();
    after.erase(home + "/Library/Preferences/com.tavix.pluginInstall.plist");
    after.erase(at("/Library/Preferences/.com.tavix.KEPL2.plist.lock"));
    before.erase(at("/Library/Preferences/.com.tavix.KEPL2.plist.lock"));
    EXPECT_EQ(after, before);
    EXPECT_TRUE(registeredIds().empty());
    EXPECT_NE(registryBefore, "");
}

TEST_F(InstallRunTest, ChangedFileIsKeptAndReportedByPath)
{
    writeInstallPlan({userHost});
    ASSERT_EQ(install().exitCode, 0);
    const std::string changed = userHost.print + "/TavixPrint.plugin/Contents/Info.plist";
    std::ofstream(changed, std::ios::app) << "<!-- edited -->";
    const std::string added = userHost.layout + "/notes.txt";
    writeText(added, "mine");

    planRemovalOfAll();
    const Result removed = run();
    const std::string id = scripthelper::InstallRun::moduleIdFor(userHost.print);
    EXPECT_TRUE(linesHave(removed, "file-kept " + id + " " + changed + " : changed since it was installed"))
        << ::testing::PrintToString(removed.allLines);
    EXPECT_TRUE(linesHave(removed, "file-kept " + id + " " + userHost.layout + " : is not empty"));
    EXPECT_TRUE(fs::exists(changed));
    EXPECT_TRUE(fs::exists(added));
    EXPECT_FALSE(fs::exists(userHost.print + "/TavixPrint.plugin/Contents/MacOS/TavixPrint"));
    EXPECT_FALSE(fs::exists(userHost.layout + "/TavixLayout.plugin"));
    EXPECT_TRUE(registeredIds().empty());
}

TEST_F(InstallRunTest, InstallingAgainUpdatesInPlace)
{
    writeInstallPlan({userHost, systemHost});
    ASSERT_EQ(install().exitCode, 0);
    const std::string id = scripthelper::InstallRun::moduleIdFor(systemHost.print);
    const auto first = receiptOf(id);
    const Result again = install();
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(linesHave(again, "updated " + id + " "));
    EXPECT_TRUE(linesHave(again, "end 0 2 0"));
    EXPECT_EQ(registeredIds().size(), 2u);
    const auto second = receiptOf(id);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->token, second->token);
    // The folders the first install made stay in the receipt.
    EXPECT_EQ(first->items.size(), second->items.size());
}

TEST_F(InstallRunTest, EntryThatCannotBePlacedWholeLeavesNothing)
{
    // The layout folder is reached through a symbolic link; the print folder would do.
    makeFolder(dir + "/elsewhere");
    fs::create_symlink(dir + "/elsewhere", home + "/Linked");
    const Host linked{home + "/Plain/Print", home + "/Linked/Automate", ""};
    // A foreign item where the plug-in would go.
    const Host occupied{home + "/Occupied", home + "/Occupied", ""};
    makeModuleFolder(occupied.print + "/TavixPrint.plugin");
    writeInstallPlan({linked, occupied});
    const auto before = snapshot();

    const Result result = install();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(linesHave(result, "skipped " + scripthelper::InstallRun::moduleIdFor(linked.print) + " " + home +
                                      "/Linked is a symbolic link"))
        << ::testing::PrintToString(result.allLines);
    EXPECT_TRUE(linesHave(result, "skipped " + scripthelper::InstallRun::moduleIdFor(occupied.print) + " " +
                                      occupied.print + "/TavixPrint.plugin exists and is not a copy"));
    EXPECT_TRUE(linesHave(result, "end 0 0 2"));
    EXPECT_TRUE(registeredIds().empty());
    auto after = snapshot();
    after.erase(at("/Library/Preferences/.com.tavix.KEPL2.plist.lock"));
    EXPECT_EQ(after, before);
}

TEST_F(InstallRunTest, PlanWithoutLayoutPlacesNoLayoutComponent)
{
    writeInstallPlan({userHost}, false);
    ASSERT_EQ(install().exitCode, 0);
    EXPECT_TRUE(fs::exists(userHost.print + "/TavixPrint.plugin"));
    EXPECT_FALSE(fs::exists(userHost.layout));
    EXPECT_EQ(registeredIds().size(), 1u);
}

/// Runs InstallHelper, or ScriptHelper, as a program with HOME and the machine root of the sandbox.
int runProgram(const char* program, const std::vector<std::string>& extra)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDOUT_FILENO);
        for (const std::string& entry : extra)
            ::putenv(const_cast<char*>(entry.c_str()));
        ::execl(program, program, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// Killed at each instant an install may die at, twice in a row (the run that recovers is killed
// too), then settled by the next run of either program: every module is listed and whole, or
// unlisted and absent, and nothing staged or set aside is left.
TEST_F(InstallRunTest, InstallKilledAtAnyInstantIsFinishedOrUndone)
{
    const std::string payload = std::string("PLATFORM_PAYLOAD=") + PAYLOAD_DIR;
    const std::string oldCopy = userHost.deleteFrom + "/Old Print.plugin";
    int instants = 0;
    for (int crashAt = 1;; ++crashAt) {
        for (const char* settler : {INSTALLHELPER_PATH, SCRIPTHELPER_PATH}) {
            fs::remove_all(home + "/Apps");
            fs::remove_all(at("/Library/Printers/Tavix"));
            makeFolder(at("/Library/Printers/Tavix"));
            makeFolder(userHost.deleteFrom);
            fs::copy(std::string(PAYLOAD_DIR) + "/Print/TavixPrint.plugin", oldCopy, fs::copy_options::recursive);
            writeRegistry({});
            fs::remove(at("/Library/Preferences/.com.tavix.KEPL2.plist.journal"));
            writeInstallPlan({userHost, systemHost});
            fs::remove(planPath);
            const std::string crash = "PLATFORM_CRASH_AFTER=" + std::to_string(crashAt);
            const int status = runProgram(INSTALLHELPER_PATH, {payload, crash});
            if (status != -SIGKILL) {
                ASSERT_EQ(status, 0);
                EXPECT_GT(instants, 5);
                return;
            }
            ++instants;
            // The run that recovers dies at its first instant too, where it has one.
            runProgram(settler, {payload, "PLATFORM_CRASH_AFTER=1"});
            runProgram(settler, {payload});

            SCOPED_TRACE("killed at instant " + std::to_string(crashAt) + ", settled by " + settler);
            EXPECT_FALSE(fs::exists(at("/Library/Preferences/.com.tavix.KEPL2.plist.journal")));
            const auto ids = registeredIds();
            for (const Host& host : {userHost, systemHost}) {
                const std::string id = scripthelper::InstallRun::moduleIdFor(host.print);
                const bool listed = std::find(ids.begin(), ids.end(), id) != ids.end();
                EXPECT_EQ(fs::exists(host.print + "/TavixPrint.plugin/Contents/MacOS/TavixPrint"), listed) << id;
                EXPECT_EQ(fs::exists(host.layout + "/TavixLayout.plugin/Contents/Info.plist"), listed) << id;
                EXPECT_EQ(fs::exists(at("/Library/Printers/Tavix/" + id + "/TavixLayout.vlxmodule")), listed) << id;
                if (listed) {
                    const auto receipt = receiptOf(id);
                    ASSERT_TRUE(receipt);
                    for (const auto& item : receipt->items)
                        EXPECT_TRUE(fs::exists(fs::symlink_status(item.path))) << item.path;
                }
            }
            for (const auto& [path, kind] : snapshot()) {
                const std::string name = fs::path(path).filename().string();
                EXPECT_NE(name.rfind(".oxlade-", 0), 0u) << path;
            }
        }
    }
}

TEST(InstallJournal, RecordsReadBackAndRefuseMalformedLines)
{
    using Journal = scripthelper::RemovalJournal;
    Journal::InstallRecord record{"ID 1", "0123abcd", {}};
    record.steps.push_back({Journal::InstallStep::Kind::Folder, 1000, true, "/home/u/A b", "", "", false});
    record.steps.push_back({Journal::InstallStep::Kind::Placed, 0, false, "/L/P/x.plugin", ".s-1", ".h-1", true});
    record.steps.push_back({Journal::InstallStep::Kind::OldCopy, 1000, true, "/home/u/old%", "", ".o-1", true});
    const std::string line = Journal::encodeInstallRecord(record);
    const auto back = Journal::decodeInstallRecord(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->id, record.id);
    EXPECT_EQ(back->token, record.token);
    ASSERT_EQ(back->steps.size(), 3u);
    EXPECT_TRUE(back->steps[0].userSide);
    EXPECT_EQ(back->steps[0].path, "/home/u/A b");
    EXPECT_EQ(back->steps[1].hold, ".h-1");
    EXPECT_EQ(back->steps[2].path, "/home/u/old%");
    for (const std::string& torn : {line.substr(0, line.size() - 3), line + " x", line.substr(0, line.find(" 3 ")) + " 4" +
                                        line.substr(line.find(" 3 ") + 2), std::string("install a  0"),
                                    std::string("remove a /b c")}) {
        EXPECT_FALSE(Journal::decodeInstallRecord(torn)) << torn;
    }
}

}  // namespace
