// The ScriptHelper program as Plugsweep and an administrator start it.

#include "ScriptHelperSandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

ProgramRun runProgram(const std::string& arguments)
{
    ProgramRun run;
    const std::string command = std::string("'") + SCRIPTHELPER_PATH + "' " + arguments + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        run.output += buffer;
    const int status = ::pclose(pipe);
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}

class ScriptHelperProgram : public ScriptHelperSandbox {
protected:
    void SetUp() override
    {
        ScriptHelperSandbox::SetUp();
        module = at("/Library/Printers/Tavix/Alpha/Alpha.plugin");
        makeModuleFolder(module);
        writeRegistry({{"UUID-ALPHA", "Alpha vLX", module}});
        writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Alpha")}});
    }

    std::string module;
};

TEST_F(ScriptHelperProgram, WithoutArgumentsRemovesAndEndsItsOutput)
{
    const ProgramRun run = runProgram("");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output, "removed " + module + "\nremoved empty folder " + at("/Library/Printers/Tavix/Alpha") +
                              "\nregistry updated\n");
    EXPECT_FALSE(std::filesystem::exists(module));
}

TEST_F(ScriptHelperProgram, DryRunChangesNothing)
{
    const std::string registry = registryBytes();
    const auto before = snapshot();
    const ProgramRun run = runProgram("--dry-run");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.rfind("would remove " + module + "\n", 0), 0u) << run.output;
    EXPECT_TRUE(removedSince(before).empty());
    EXPECT_EQ(registryBytes(), registry);
}

TEST_F(ScriptHelperProgram, SkippedEntryGivesANonZeroExit)
{
    writePlan({{"UUID-OTHER", at("/Library/Printers/Tavix/Alpha")}});
    const ProgramRun run = runProgram("");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "skipped UUID-OTHER: is not in the registry\n");
    EXPECT_TRUE(std::filesystem::exists(module));
}

class ScriptHelperArguments : public ScriptHelperProgram, public ::testing::WithParamInterface<const char*> {};

TEST_P(ScriptHelperArguments, OtherArgumentsGiveUsageAndChangeNothing)
{
    const auto before = snapshot();
    const ProgramRun run = runProgram(GetParam());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "usage: ScriptHelper [--dry-run | --help | --version]\n");
    EXPECT_TRUE(removedSince(before).empty());
}

INSTANTIATE_TEST_SUITE_P(Arguments, ScriptHelperArguments,
                         ::testing::Values("-h", "-n", "--dry-run --dry-run", "--help --dry-run", "/", "''"));

TEST_F(ScriptHelperProgram, HelpAndVersionAnswerAndChangeNothing)
{
    const auto before = snapshot();
    const ProgramRun help = runProgram("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.output.rfind("usage: ScriptHelper [--dry-run]\n", 0), 0u) << help.output;
    const ProgramRun version = runProgram("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output.rfind("ScriptHelper ", 0), 0u) << version.output;
    EXPECT_TRUE(removedSince(before).empty());
}

TEST_F(ScriptHelperProgram, KilledHalfWayLeavesNoRemovedModuleRegistered)
{
    std::vector<Module> many;
    std::vector<PlanEntry> plan;
    for (int i = 0; i < 60; ++i) {
        const std::string folder = at("/Library/Printers/Tavix/M" + std::to_string(i));
        makeModuleFolder(folder + "/M.plugin");
        many.push_back({"UUID-" + std::to_string(i), "M vLX", folder + "/M.plugin"});
        plan.push_back({"UUID-" + std::to_string(i), folder});
    }
    writeRegistry(many);
    writePlan(plan);

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execl(SCRIPTHELPER_PATH, SCRIPTHELPER_PATH, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::FILE* stream = ::fdopen(out[0], "r");
    char buffer[1024];
    ASSERT_NE(std::fgets(buffer, sizeof buffer, stream), nullptr);
    ::kill(pid, SIGKILL);
    std::vector<std::string> reported{buffer};
    while (std::fgets(buffer, sizeof buffer, stream) != nullptr)
        reported.emplace_back(buffer);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::fclose(stream);

    // Every module reported removed before the kill is already out of the registry.
    const platform::PlistDictionary registryNow = registryRoot();
    const platform::PlistDictionary* left = registryNow.dictionaryForKey("KEP2_KEY_MODULES");
    ASSERT_NE(left, nullptr);
    std::size_t removed = 0;
    for (const Module& module : many) {
        if (std::find(reported.begin(), reported.end(), "removed " + module.installPath + "\n") != reported.end()) {
            ++removed;
            EXPECT_FALSE(left->contains(module.uuid)) << module.uuid << " is reported removed but still registered";
        }
    }
    EXPECT_GE(removed, 1u);
    EXPECT_LE(left->size(), many.size() - removed);
}

}  // namespace
