#include "UnInstaller/common/CommandLine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using Action = CommandLine::Action;

struct ParseCase {
    const char* name;
    std::vector<std::string> arguments;
    Action action;
    std::string refused;
};

class CommandLineParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParse, AnswersWithTheActionOfTheTable)
{
    const CommandLine::Request request = CommandLine::parse(GetParam().arguments);
    EXPECT_EQ(request.action, GetParam().action);
    EXPECT_EQ(request.refused, GetParam().refused);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineParse,
    ::testing::Values(ParseCase {"Nothing", {}, Action::Run, ""},
                      ParseCase {"Help", {"--help"}, Action::Help, ""},
                      ParseCase {"ShortHelp", {"-h"}, Action::Help, ""},
                      ParseCase {"Version", {"--version"}, Action::Version, ""},
                      ParseCase {"FirstAnsweringOptionWins", {"--version", "--help"}, Action::Version, ""},
                      ParseCase {"UnknownOption", {"--bogus"}, Action::Refuse, "--bogus"},
                      ParseCase {"UnknownAfterHelp", {"--help", "--bogus"}, Action::Refuse, "--bogus"},
                      ParseCase {"PlainArgument", {"modules"}, Action::Refuse, "modules"},
                      ParseCase {"OptionWithValueGlued", {"--help=yes"}, Action::Refuse, "--help=yes"},
                      ParseCase {"ShortFormOfALongOnlyOption", {"-v"}, Action::Refuse, "-v"},
                      ParseCase {"EmptyArgument", {""}, Action::Refuse, ""}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

CommandLine::Texts englishOnly()
{
    return [](const std::string&, const std::string& english) { return english; };
}

TEST(CommandLineTexts, UsageListsEveryOptionOfTheTableAndTheExitStatuses)
{
    const std::string usage = CommandLine::usage(englishOnly(), "Plugsweep", "Removes modules.");
    EXPECT_EQ(usage.rfind("usage: Plugsweep [--help] [--version]\n  Removes modules.\n", 0), 0u) << usage;
    for (const CommandLine::Option& option : CommandLine::options()) {
        EXPECT_NE(usage.find("  " + std::string(option.longName) + " "), std::string::npos) << usage;
        EXPECT_NE(usage.find(std::string(option.english)), std::string::npos) << usage;
    }
    for (const char* status : {"0 when", "1 when", "2 when", "69 when"})
        EXPECT_NE(usage.find("    " + std::string(status)), std::string::npos) << usage;
}

TEST(CommandLineTexts, EveryTextComesFromTheTableByItsKey)
{
    std::map<std::string, std::string> asked;
    const CommandLine::Texts marked = [&asked](const std::string& key, const std::string& english) {
        asked[key] = english;
        return "<" + key + ">";
    };
    const std::string usage = CommandLine::usage(marked, "P", "about");
    EXPECT_EQ(usage.find("usage"), std::string::npos) << usage;
    EXPECT_EQ(usage.find("print"), std::string::npos) << usage;
    EXPECT_EQ(usage.find("about"), std::string::npos) << "the about text is translated too: " << usage;
    for (const CommandLine::Option& option : CommandLine::options())
        EXPECT_TRUE(asked.count(std::string(option.textKey))) << option.textKey;
    EXPECT_EQ(CommandLine::refusal(marked, "P", "--x"), "<CL_UNKNOWN_OPTION>\n");
}

TEST(CommandLineTexts, PlaceholdersTakeProgramThenArgument)
{
    const CommandLine::Texts reordered = [](const std::string& key, const std::string& english) {
        return key == "CL_UNKNOWN_OPTION" ? std::string("%@ ist unbekannt (%@)") : english;
    };
    EXPECT_EQ(CommandLine::refusal(reordered, "Plugsweep", "--bogus"), "Plugsweep ist unbekannt (--bogus)\n");
    EXPECT_EQ(CommandLine::noDisplay(englishOnly(), "Plugsweep", "DISPLAY is not set"),
              "Plugsweep: this program needs a graphical display, and none can be used (DISPLAY is not set)\n");
    EXPECT_EQ(CommandLine::versionLine("Plugsweep", "1.0"), "Plugsweep 1.0\n");
}

}  // namespace
