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
    /// What the arguments ask of the program. Json and DryRun are flags that go with List or
    /// Remove; Remove takes the module identifiers that follow it.
    enum class Action { Run, Help, Version, Refuse, List, Remove, RemoveAll, Json, DryRun };

    /// Exit status of a command line that was not understood.
    static constexpr int kExitUsage = 2;

    /// One row of the table: its spellings, what it asks for, and the key and English text of its
    /// line in --help; operands names what follows the option in the synopsis ("ID...").
    struct Option {
        std::string_view longName;
        std::string_view shortName;
        Action action;
        std::string_view textKey;
        std::string_view english;
        std::string_view operands = {};
    };

    /// What parse() found: the action and, when the arguments are refused, the argument at fault.
    struct Request {
        Action action = Action::Run;
        std::string refused;
        /// Why refused was refused: no option of the table, an option that needs what did not
        /// come (--remove without an identifier), or one that does not go with the others.
        enum class Why { Unknown, NeedsIdentifier, Misplaced } why = Why::Unknown;
        /// --json and --dry-run.
        bool json = false;
        bool dryRun = false;
        /// The identifiers after --remove.
        std::vector<std::string> ids;
    };

    /// Gives the text of key in the user's language, or english when no table has it.
    using Texts = std::function<std::string(const std::string& key, const std::string& english)>;

    /// The options, in the order --help lists them.
    static const std::vector<Option>& options();

    /// Reads the arguments (without the program name): the first option that answers by itself
    /// (--help, --version) wins; an argument that is no option of the table, --remove without an
    /// identifier, two actions, or a flag without the action it goes with refuses the whole line.
    static Request parse(const std::vector<std::string>& arguments);

    /// The --help text: synopsis, what the program does (about), the options and the exit statuses.
    static std::string usage(const Texts& texts, const std::string& program, const std::string& about);

    /// The line that refuses the request's argument, printed before the usage.
    static std::string refusal(const Texts& texts, const std::string& program, const Request& request);

    /// The line that says no graphical display can be used, and why.
    static std::string noDisplay(const Texts& texts, const std::string& program, const std::string& reason);

    /// The --version line.
    static std::string versionLine(const std::string& program, const std::string& version);
};
