// The ScriptHelper program as Plugsweep and an administrator start it.

#include "ScriptHelperSandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/wait.h>

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

}  // namespace
