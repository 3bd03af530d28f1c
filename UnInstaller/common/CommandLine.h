#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// Plugsweep's command line: one table of options, the reading of the arguments against it, and
/// the texts that --help, --version and a refusal print. An option is added as one row of the
/// table, with its help text in each language's CommandLine.strings.
class CommandLine {
public:
    /// What the arguments ask of the program.
    enum class Action { Run, Help, Version, Refuse };

    /// Exit status of a command line that was not understood.
    static constexpr int kExitUsage = 2;

    /// One row of the table: its spellings, what it asks for, and the key and English text of its
    /// line in --help.
    struct Option {
        std::string_view longName;
        std::string_view shortName;
        Action action;
        std::string_view textKey;
        std::string_view english;
    };

    /// What parse() found: the action and, when the arguments are refused, the argument at fault.
    struct Request {
        Action action = Action::Run;
        std::string refused;
    };

    /// Gives the text of key in the user's language, or english when no table has it.
    using Texts = std::function<std::string(const std::string& key, const std::string& english)>;

    /// The options, in the order --help lists them.
    static const std::vector<Option>& options();

    /// Reads the arguments (without the program name): the first option that answers by itself
    /// (--help, --version) wins; an argument that is no option of the table refuses the whole line.
    static Request parse(const std::vector<std::string>& arguments);

    /// The --help text: synopsis, what the program does (about), the options and the exit statuses.
    static std::string usage(const Texts& texts, const std::string& program, const std::string& about);

    /// The line that refuses argument, printed before the usage.
    static std::string refusal(const Texts& texts, const std::string& program, const std::string& argument);

    /// The line that says no graphical display can be used, and why.
    static std::string noDisplay(const Texts& texts, const std::string& program, const std::string& reason);

    /// The --version line.
    static std::string versionLine(const std::string& program, const std::string& version);
};
