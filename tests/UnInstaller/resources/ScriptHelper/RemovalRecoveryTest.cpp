// Removal as an engine: one run at a time, any interruption recovered, a stop honoured between
// modules. The invariant checked throughout: every module is either listed and whole, or unlisted
// and gone.

#include "RemovalRunFixture.h"

#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "UnInstaller/resources/ScriptHelper/RemovalJournal.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"
#include "UnInstaller/resources/ScriptHelper/RemovalRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using scripthelper::PathPolicy;

struct ProgramResult {
    bool killed = false;
    int exitCode = -1;
    std::string output;
};

/// Runs the ScriptHelper program with HOME set to home and extra environment entries.
ProgramResult runProgram(const std::string& home, const std::vector<std::string>& extra = {})
{
    int out[2];
    if (::pipe(out) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("PLATFORM_CRASH_AFTER");
        for (const std::string& entry : extra)
            ::putenv(const_cast<char*>(entry.c_str()));
        ::execl(SCRIPTHELPER_PATH, SCRIPTHELPER_PATH, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    ProgramResult result;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        result.output.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.killed = WIFSIGNALED(status);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

/// Every path inside a module folder, relative to it.
std::set<std::string> contentsOf(const std::string& folder)
{
    std::set<std::string> paths;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); it != fs::recursive_directory_iterator();
         it.increment(error))
        paths.insert(it->path().string().substr(folder.size()));
    return paths;
}

class RemovalRecovery : public RemovalRun {
protected:
    /// Modules to remove (eight unless told), two that stay, and the plan for those to remove.
    void makeMachine(int toRemove = 8)
    {
        registered.clear();
        planned.clear();
        for (int i = 0; i < toRemove + 2; ++i) {
            const std::string folder = at("/Library/Printers/Tavix/M" + std::to_string(i));
            makeModuleFolder(folder + "/M.plugin");
            registered.push_back({"UUID-" + std::to_string(i), "M" + std::to_string(i) + " vLX", folder + "/M.plugin"});
            if (i < toRemove)
                planned.push_back({"UUID-" + std::to_string(i), folder});
        }
        whole = contentsOf(registered[0].installPath);
        writeRegistry(registered);
        writePlan(planned);
    }

    /// Fails the test unless every module is listed and whole, or unlisted and gone, and nothing
    /// of a removal is left behind; answers how many are still listed.
    std::size_t checkInvariant(const std::string& when)
    {
        const platform::PlistDictionary rootDict = registryRoot();
        const platform::PlistDictionary* listed = rootDict.dictionaryForKey("KEP2_KEY_MODULES");
        if (listed == nullptr) {
            ADD_FAILURE() << when << ": registry without modules";
            return 0;
        }
        std::size_t count = 0;
        for (const Module& module : registered) {
            if (listed->contains(module.uuid)) {
                ++count;
                EXPECT_EQ(contentsOf(module.installPath), whole) << when << ": " << module.uuid << " listed, not whole";
            } else {
                EXPECT_FALSE(fs::exists(module.installPath)) << when << ": " << module.uuid << " unlisted, not gone";
            }
        }
        for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
            const std::string name = it->path().filename().string();
            EXPECT_EQ(name.rfind(".plugsweep-removing-", 0), std::string::npos) << when << ": " << it->path();
            EXPECT_NE(name, ".com.tavix.KEPL2.plist.journal") << when;
            EXPECT_FALSE(name.size() == 29 && name.rfind(".com.tavix.KEPL2.plist.", 0) == 0)
                << when << ": temporary file " << name;
        }
        return count;
    }

    std::vector<Module> registered;
    std::vector<PlanEntry> planned;
    std::set<std::string> whole;
};

TEST_F(RemovalRecovery, KilledAtAnyStepTheNextRunFinishesAndNothingIsMisstated)
{
    int points = 0;
    for (int crashAt = 1; crashAt < 400; ++crashAt) {
        TearDown();
        SetUp();
        makeMachine();
        const ProgramResult crashed = runProgram(home, {"PLATFORM_CRASH_AFTER=" + std::to_string(crashAt)});
        if (!crashed.killed) {
            EXPECT_EQ(crashed.exitCode, 0) << crashed.output;
            points = crashAt - 1;
            break;
        }
        // A run with nothing to do finishes what the killed one journalled, and only that.
        const std::string when = "killed at step " + std::to_string(crashAt);
        writePlan({});
        const ProgramResult recovery = runProgram(home);
        ASSERT_EQ(recovery.exitCode, 0) << when << "\n" << recovery.output;
        const std::size_t listed = checkInvariant(when);
        EXPECT_GE(listed, 2u) << when;

        // The same plan again: modules already gone are absent, never failures.
        writePlan(planned);
        const ProgramResult rerun = runProgram(home);
        EXPECT_EQ(rerun.exitCode, 0) << when << "\n" << rerun.output;
        EXPECT_EQ(rerun.output.find("\nkept "), std::string::npos) << when << "\n" << rerun.output;
        EXPECT_EQ(checkInvariant(when + ", then the plan again"), 2u);
    }
    // Each of the eight modules passes several steps; a run with none would prove nothing.
    EXPECT_GT(points, 40);
}

// Two crashes in a row at every pair of instants: a run removing two modules killed at any step,
// then the run that recovers from it (with nothing more to do) killed at any of its own steps; the
// next run leaves every module listed and whole, or unlisted and gone.
TEST_F(RemovalRecovery, KilledAtAnyStepAndAgainWhileRecoveringIsRecoveredInTurn)
{
    int pairs = 0;
    for (int first = 1; first < 400; ++first) {
        bool firstKilled = true;
        for (int second = 1; second < 100 && firstKilled; ++second) {
            TearDown();
            SetUp();
            makeMachine(2);
            firstKilled = runProgram(home, {"PLATFORM_CRASH_AFTER=" + std::to_string(first)}).killed;
            if (!firstKilled)
                break;
            writePlan({});
            const bool secondKilled = runProgram(home, {"PLATFORM_CRASH_AFTER=" + std::to_string(second)}).killed;
            const std::string when = "killed at " + std::to_string(first) + ", then at " + std::to_string(second);
            const ProgramResult last = runProgram(home);
            EXPECT_EQ(last.exitCode, 0) << when << "\n" << last.output;
            EXPECT_GE(checkInvariant(when), 2u);
            ++pairs;
            if (!secondKilled)
                break;
        }
        if (!firstKilled)
            break;
    }
    // Two modules of several steps each, and recoveries of a few steps each.
    std::cout << pairs << " pairs of instants\n";
    EXPECT_GT(pairs, 20);
}

TEST_F(RemovalRecovery, TwoRunsAtOnceLoseNoUpdate)
{
    for (int trial = 0; trial < 8; ++trial) {
        TearDown();
        SetUp();
        makeMachine();
        // A second user's plan names the other half of the modules.
        const std::string otherHome = dir + "/home2";
        makeFolder(otherHome + "/Library/Preferences");
        writePlan({planned.begin(), planned.begin() + 4});
        fs::copy_file(planPath, otherHome + "/Library/Preferences/com.tavix.pluginUnInstall.plist");
        writePlan({planned.begin() + 4, planned.end()});

        const pid_t other = ::fork();
        if (other == 0)
            ::_exit(runProgram(otherHome).exitCode);
        const ProgramResult mine = runProgram(home);
        int status = 0;
        ::waitpid(other, &status, 0);
        EXPECT_EQ(mine.exitCode, 0) << mine.output;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(checkInvariant("trial " + std::to_string(trial)), 2u);
    }
}

TEST_F(RemovalRecovery, ARunThatCannotHaveTheLockSaysSoAndChangesNothing)
{
    makeMachine();
    const std::string lockPath = at("/Library/Preferences/.com.tavix.KEPL2.plist.lock");
    const int held = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const std::string registry = registryBytes();

    std::ostringstream out;
    scripthelper::RemovalRun::Options options;
    options.lockWaitMs = 200;
    const int status = scripthelper::RemovalRun(out, options).run();
    ::close(held);

    EXPECT_EQ(status, scripthelper::kExitBusy);
    EXPECT_EQ(out.str().rfind("busy another removal or install is running", 0), 0u) << out.str();
    EXPECT_EQ(registryBytes(), registry);
    EXPECT_EQ(checkInvariant("after a busy run"), 10u);
}

TEST_F(RemovalRecovery, StopEndsTheRunAfterTheModuleAtHand)
{
    makeMachine();
    std::ostringstream out;
    int asked = 0;
    scripthelper::RemovalRun::Options options;
    options.stopRequested = [&asked] { return ++asked > 3; };
    const int status = scripthelper::RemovalRun(out, options).run();

    EXPECT_EQ(status, scripthelper::kExitIncomplete);
    EXPECT_EQ(checkInvariant("after a stop"), 7u) << out.str();
    std::size_t stopped = 0;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" the removal was stopped before this module") != std::string::npos)
            ++stopped;
    }
    EXPECT_EQ(stopped, 5u) << out.str();
    EXPECT_NE(out.str().find("\nend 3 0 5\n"), std::string::npos) << out.str();
}

TEST_F(RemovalRecovery, StrayTemporaryRegistryFilesGoBeforeTheRun)
{
    makeMachine();
    writeText(at("/Library/Preferences/.com.tavix.KEPL2.plist.Ab12Cd"), "half");
    writeText(at("/Library/Preferences/.com.tavix.KEPL2.plist.keep-me-please"), "not ours");
    writePlan({});

    EXPECT_EQ(runProgram(home).exitCode, 0);

    EXPECT_FALSE(fs::exists(at("/Library/Preferences/.com.tavix.KEPL2.plist.Ab12Cd")));
    EXPECT_TRUE(fs::exists(at("/Library/Preferences/.com.tavix.KEPL2.plist.keep-me-please")));
}

TEST_F(RemovalRecovery, AJournalNamingAPathOutsideTheModuleFoldersRemovesNothing)
{
    makeMachine();
    const std::string outside = dir + "/outside";
    makeFolder(outside + "/precious");
    writeText(at("/Library/Preferences/.com.tavix.KEPL2.plist.journal"),
              scripthelper::RemovalJournal::encodeRecord({"UUID-0", outside, "precious"}) + "\n");
    ::chmod(at("/Library/Preferences/.com.tavix.KEPL2.plist.journal").c_str(), 0600);
    writePlan({});

    const ProgramResult run = runProgram(home);

    EXPECT_TRUE(fs::exists(outside + "/precious"));
    EXPECT_NE(run.output.find("kept UUID-0 the journal names " + outside), std::string::npos) << run.output;
}

// Two crashes in a row: an append torn at any length, then a run killed once it has set its
// module aside. The torn record is cut off, so the killed run's record reads and the next run
// finishes its removal.
TEST_F(RemovalRecovery, ARecordTornAtAnyLengthNeverSwallowsTheNextOne)
{
    const std::string journal = at("/Library/Preferences/.com.tavix.KEPL2.plist.journal");
    makeMachine();
    const std::string torn = scripthelper::RemovalJournal::encodeRecord(
        {"UUID-9", PathPolicy::normalized(registered[9].installPath), ".plugsweep-removing-1-9-9"});
    for (std::size_t length = 1; length < torn.size(); length += (length < 24 ? 1 : 7)) {
        SCOPED_TRACE("torn after " + std::to_string(length) + " bytes");
        makeMachine();
        writePlan({planned[0]});
        writeText(journal, torn.substr(0, length));
        ::chmod(journal.c_str(), 0600);
        // Killed right after moving its one module aside.
        const ProgramResult killed = runProgram(home, {"PLATFORM_CRASH_AFTER=2"});
        EXPECT_TRUE(killed.killed) << killed.output;
        writePlan({});
        const ProgramResult after = runProgram(home);
        EXPECT_EQ(after.exitCode, 0) << after.output;
        EXPECT_EQ(checkInvariant("torn after " + std::to_string(length)), 9u);
        EXPECT_FALSE(fs::exists(registered[0].installPath));
    }
    // A record whose checksum does not match is not one.
    std::string altered = torn;
    altered.back() = altered.back() == '0' ? '1' : '0';
    EXPECT_TRUE(scripthelper::RemovalJournal::decodeRecord(torn).has_value());
    EXPECT_FALSE(scripthelper::RemovalJournal::decodeRecord(altered).has_value());
}

// A journal only a fault could write: a record whose module is not the one registered at its
// install path, or whose hold is not a name removal sets aside, deletes nothing.
TEST_F(RemovalRecovery, RecordsThatDoNotMatchTheRegistryDeleteNothing)
{
    makeMachine();
    const std::string journal = at("/Library/Preferences/.com.tavix.KEPL2.plist.journal");
    const std::string folder1 = fs::path(registered[1].installPath).parent_path().string();
    makeModuleFolder(folder1 + "/.plugsweep-removing-7-7-7");
    const std::string path1 = PathPolicy::normalized(registered[1].installPath);
    writeText(journal, scripthelper::RemovalJournal::encodeRecord({"UUID-2", path1, ".plugsweep-removing-7-7-7"}) + "\n" +
                           scripthelper::RemovalJournal::encodeRecord({"UUID-1", path1, "M.plugin"}) + "\n");
    ::chmod(journal.c_str(), 0600);
    writePlan({});
    const ProgramResult run = runProgram(home);
    EXPECT_TRUE(fs::exists(folder1 + "/.plugsweep-removing-7-7-7/Contents/Info.plist"));
    EXPECT_EQ(contentsOf(registered[1].installPath), whole);
    EXPECT_NE(run.output.find("kept UUID-2 the journal names " + path1 + ", which the registry does not have"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("kept UUID-1 the journal names M.plugin, which is not a name removal sets aside"),
              std::string::npos)
        << run.output;
}

TEST(RemovalJournalRecord, RoundTripsAnyTextAndRefusesHoldNamesThatLeaveTheFolder)
{
    const scripthelper::RemovalJournal::Record record{"id with blank\nand%", "/Library/Printers/Tavix/A b/C", ".hold"};
    const auto back = scripthelper::RemovalJournal::decodeRecord(scripthelper::RemovalJournal::encodeRecord(record));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->id, record.id);
    EXPECT_EQ(back->installPath, record.installPath);
    EXPECT_EQ(back->holdName, record.holdName);
    for (const char* hold : {"..", "a/b", ".", "-"})
        EXPECT_FALSE(scripthelper::RemovalJournal::decodeRecord(std::string("remove x /a ") + hold).has_value()) << hold;
    EXPECT_FALSE(scripthelper::RemovalJournal::decodeRecord("remove x /a").has_value());
    EXPECT_FALSE(scripthelper::RemovalJournal::decodeRecord("remove x /a h%4").has_value());
}

}  // namespace
