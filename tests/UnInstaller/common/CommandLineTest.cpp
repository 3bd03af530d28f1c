#include "UnInstaller/common/CommandLine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
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
                      ParseCase {"EmptyArgument", {""}, Action::Refuse, ""},
                      ParseCase {"List", {"--list"}, Action::List, ""},
                      ParseCase {"ListAsJson", {"--json", "--list"}, Action::List, ""},
                      ParseCase {"RemoveWithoutIdentifier", {"--remove"}, Action::Refuse, "--remove"},
                      ParseCase {"RemoveThenList", {"--remove", "a", "--list"}, Action::Refuse, "--list"},
                      ParseCase {"RemoveAllAsADryRun", {"--remove-all", "--dry-run", "--json"}, Action::RemoveAll, ""},
                      ParseCase {"IdentifierLikeAnOption", {"--remove", "-x"}, Action::Refuse, "-x"},
                      ParseCase {"JsonAlone", {"--json"}, Action::Refuse, "--json"},
                      ParseCase {"DryRunWithList", {"--list", "--dry-run"}, Action::Refuse, "--dry-run"},
                      ParseCase {"StrictRemoval", {"--remove", "a", "--strict"}, Action::Remove, ""},
                      ParseCase {"StrictWithList", {"--list", "--strict"}, Action::Refuse, "--strict"},
                      ParseCase {"StrictAlone", {"--strict"}, Action::Refuse, "--strict"}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

CommandLine::Texts englishOnly()
{
    return [](const std::string&, const std::string& english) { return english; };
}

TEST(CommandLineRemoveRequest, TakesTheIdentifiersAfterRemoveAndItsFlags)
{
    const CommandLine::Request request = CommandLine::parse({"--json", "--remove", "ID-1", "ID-2", "--dry-run"});
    EXPECT_EQ(request.action, Action::Remove);
    EXPECT_EQ(request.ids, (std::vector<std::string>{"ID-1", "ID-2"}));
    EXPECT_TRUE(request.json);
    EXPECT_TRUE(request.dryRun);
    EXPECT_FALSE(request.strict);
    EXPECT_TRUE(CommandLine::parse({"--strict", "--remove", "ID-1"}).strict);
    EXPECT_EQ(CommandLine::parse({"--remove"}).why, CommandLine::Request::Why::NeedsIdentifier);
    EXPECT_EQ(CommandLine::parse({"--list", "--remove-all"}).why, CommandLine::Request::Why::Misplaced);
    EXPECT_EQ(CommandLine::parse({"--bogus"}).why, CommandLine::Request::Why::Unknown);
}

TEST(CommandLineTexts, UsageListsEveryOptionOfTheTableAndTheExitStatuses)
{
    const std::string usage = CommandLine::usage(englishOnly(), "Plugsweep", "Removes modules.");
    // The synopsis wraps before it passes 80 columns, under the program's name.
    EXPECT_EQ(usage.rfind("usage: Plugsweep [--help] [--version] [--list] [--remove ID...] [--remove-all]\n"
                          "                 [--dry-run] [--json] [--strict]\n  Removes modules.\n",
                          0),
              0u)
        << usage;
    std::string flat;
    std::string joined;
    for (std::istringstream lines(usage); std::getline(lines, joined);) {
        const std::size_t text = joined.find_first_not_of(' ');
        flat += (flat.empty() ? "" : " ") + (text == std::string::npos ? std::string() : joined.substr(text));
    }
    for (const CommandLine::Option& option : CommandLine::options()) {
        EXPECT_NE(usage.find("  " + std::string(option.longName) + " "), std::string::npos) << usage;
        EXPECT_NE(flat.find(std::string(option.english)), std::string::npos) << "whole once the lines are joined: " << usage;
    }
    for (const char* status : {"0 when", "1 when", "2 when", "69 when", "0 every named", "1 some named", "65 with",
                               "74 the module", "75 another", "77 not authorized"})
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
    EXPECT_EQ(CommandLine::refusal(marked, "P", CommandLine::parse({"--x"})), "<CL_UNKNOWN_OPTION>\n");
    EXPECT_EQ(CommandLine::refusal(marked, "P", CommandLine::parse({"--remove"})), "<CL_NEEDS_IDENTIFIER>\n");
}

TEST(CommandLineTexts, PlaceholdersTakeProgramThenArgument)
{
    const CommandLine::Texts reordered = [](const std::string& key, const std::string& english) {
        return key == "CL_UNKNOWN_OPTION" ? std::string("%@ ist unbekannt (%@)") : english;
    };
    EXPECT_EQ(CommandLine::refusal(reordered, "Plugsweep", CommandLine::parse({"--bogus"})),
              "Plugsweep ist unbekannt (--bogus)\n");
    EXPECT_EQ(CommandLine::noDisplay(englishOnly(), "Plugsweep", "DISPLAY is not set"),
              "Plugsweep: this program needs a graphical display, and none can be used (DISPLAY is not set)\n");
    EXPECT_EQ(CommandLine::versionLine("Plugsweep", "1.0"), "Plugsweep 1.0\n");
}

/// One text and the lines it must wrap to.
struct WrapCase {
    const char* name;
    const char* text;
    const char* firstIndent;
    std::size_t indent;
    std::size_t width;
    const char* wrapped;
};

class CommandLineWrap : public ::testing::TestWithParam<WrapCase> {};

TEST_P(CommandLineWrap, BreaksWhereTheLanguageAllowsWithinTheWidth)
{
    const WrapCase& c = GetParam();
    const std::string wrapped = CommandLine::wrap(c.text, c.firstIndent, c.indent, c.width);
    EXPECT_EQ(wrapped, c.wrapped);
    std::istringstream lines(wrapped);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(CommandLine::displayWidth(line), c.width) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CommandLineWrap,
    ::testing::Values(
        WrapCase{"ShortLineStaysWhole", "print this text", "  ", 2, 80, "  print this text\n"},
        WrapCase{"LatinWrapsAtBlanksUnderTheText", "remove the modules with these identifiers", "  --x  ", 7, 24,
                 "  --x  remove the\n       modules with\n       these identifiers\n"},
        WrapCase{"JapaneseBreaksBetweenWideCharactersByTwoColumnsEach", "削除できるすべてのモジュールを削除します", "", 0,
                 20, "削除できるすべてのモ\nジュールを削除します\n"},
        WrapCase{"NoLineStartsWithClosingPunctuation", "あいうえおかきくけ。こさしす", "", 0, 18,
                 "あいうえおかきく\nけ。こさしす\n"},
        WrapCase{"LatinWordInChineseStaysWhole", "与 --remove 一起使用：删除", "", 0, 12, "与 --remove\n一起使用：删\n除\n"},
        WrapCase{"KoreanBreaksAtBlanks", "모듈을 제거하지 못했습니다", "", 0, 16, "모듈을 제거하지\n못했습니다\n"},
        WrapCase{"AWordLongerThanALineIsCut", "abcdefghij", "", 0, 4, "abcd\nefgh\nij\n"}),
    [](const ::testing::TestParamInfo<WrapCase>& info) { return std::string(info.param.name); });

TEST(CommandLineWrap, CountsWideCharactersAsTwoColumns)
{
    EXPECT_EQ(CommandLine::displayWidth("usage:"), 6u);
    EXPECT_EQ(CommandLine::displayWidth("使い方:"), 7u);
    EXPECT_EQ(CommandLine::displayWidth("사용법"), 6u);
    EXPECT_EQ(CommandLine::displayWidth("Rückgabewert"), 12u);
}

std::string manPage()
{
    std::ifstream in(SOURCE_DIR "/packaging/man/plugsweep.1.in");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string manSpelling(std::string_view option)
{
    std::string spelled;
    for (char c : option)
        spelled += c == '-' ? std::string("\\-") : std::string(1, c);
    return spelled;
}

TEST(CommandLineManPage, DescribesEveryOptionAndEveryExitStatusOfUsage)
{
    const std::string page = manPage();
    ASSERT_FALSE(page.empty());
    const std::size_t options = page.find(".SH OPTIONS"), statuses = page.find(".SH EXIT STATUS"),
                      files = page.find(".SH FILES");
    ASSERT_TRUE(options < statuses && statuses < files) << "the page keeps its sections in order";
    const std::string optionSection = page.substr(options, statuses - options);
    for (const CommandLine::Option& option : CommandLine::options())
        EXPECT_NE(optionSection.find(manSpelling(option.longName)), std::string::npos) << option.longName;

    const std::string statusSection = page.substr(statuses, files - statuses);
    std::istringstream usage(CommandLine::usage(englishOnly(), "plugsweep", "about"));
    std::set<std::string> numbers;
    for (std::string line; std::getline(usage, line);)
        if (line.rfind("    ", 0) == 0 && line.size() > 4 && std::isdigit(static_cast<unsigned char>(line[4])) &&
            line.find(' ', 4) != std::string::npos && line.find(' ', 4) < 8)
            numbers.insert(line.substr(4, line.find(' ', 4) - 4));
    EXPECT_GE(numbers.size(), 10u) << "usage lists the statuses of the window and of the command line";
    for (const std::string& number : numbers)
        EXPECT_NE(statusSection.find(".B " + number + "\n"), std::string::npos) << "status " << number;
}

}  // namespace
