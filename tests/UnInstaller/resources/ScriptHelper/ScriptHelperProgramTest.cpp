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
    EXPECT_EQ(run.output, "total 1\nmodule 1 1 UUID-ALPHA\nremoved UUID-ALPHA " + module + "\nfolder-removed " +
                              at("/Library/Printers/Tavix/Alpha") + "\nregistry-updated\nend 1 0 0\n");
    EXPECT_FALSE(std::filesystem::exists(module));
}

TEST_F(ScriptHelperProgram, DryRunChangesNothing)
{
    const std::string registry = registryBytes();
    const auto before = snapshot();
    const ProgramRun run = runProgram("--dry-run");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("\nwould-remove UUID-ALPHA " + module + "\n"), std::string::npos) << run.output;
    EXPECT_TRUE(removedSince(before).empty());
    EXPECT_EQ(registryBytes(), registry);
}

TEST_F(ScriptHelperProgram, KeptEntryGivesANonZeroExit)
{
    writePlan({{"UUID-ALPHA", at("/Library/Printers/Tavix/Elsewhere")}});
    const ProgramRun run = runProgram("");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("\nkept UUID-ALPHA UnInstallPath "), std::string::npos) << run.output;
    EXPECT_TRUE(std::filesystem::exists(module));
}

TEST_F(ScriptHelperProgram, RerunOfAFinishedPlanReportsEveryModuleAbsent)
{
    ASSERT_EQ(runProgram("").exitCode, 0);
    const ProgramRun again = runProgram("");
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(again.output, "total 1\nmodule 1 1 UUID-ALPHA\nabsent UUID-ALPHA -\nend 0 1 0\n");
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

}  // namespace
