#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

/// Plugsweep's command line: one table of options, the reading of the arguments against it, and
/// the texts that --help, --version and a refusal print. An option is added as one row of the
/// table, with its help text in each language's CommandLine.strings.
class CommandLine {
public:
    /// What the arguments ask of the program. Json, DryRun and Strict are flags that go with List
    /// or Remove; Remove takes the module identifiers that follow it.
    enum class Action { Run, Help, Version, Refuse, List, Remove, RemoveAll, Json, DryRun, Strict };

    /// Exit status of a command line that was not understood.
    static constexpr int kExitUsage = 2;
    /// The width the texts of --help are wrapped to, in terminal columns.
    static constexpr std::size_t kColumns = 80;

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
        /// --json, --dry-run and --strict.
        bool json = false;
        bool dryRun = false;
        bool strict = false;
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

    /// The --help text: synopsis, what the program does (about), the options and the exit statuses,
    /// each wrapped to kColumns with its continuation lines indented under its text.
    static std::string usage(const Texts& texts, const std::string& program, const std::string& about);

    /// The columns text takes on a terminal: two for each wide character (Chinese, Japanese,
    /// Korean and full-width forms), one for any other.
    static std::size_t displayWidth(std::string_view text);

    /// text (one paragraph) broken into lines of at most width columns: the first starts with
    /// firstIndent, the others with as many blanks as indent columns. Lines break at blanks and
    /// between wide characters, never before closing punctuation or after opening punctuation; a
    /// word longer than a line is cut where it has to be. Every line ends with a newline.
    static std::string wrap(std::string_view text, const std::string& firstIndent, std::size_t indent,
                            std::size_t width = kColumns);

    /// The line that refuses the request's argument, printed before the usage.
    static std::string refusal(const Texts& texts, const std::string& program, const Request& request);

    /// The line that says no graphical display can be used, and why.
    static std::string noDisplay(const Texts& texts, const std::string& program, const std::string& reason);

    /// The --version line.
    static std::string versionLine(const std::string& program, const std::string& version);

    /// pattern with args in place of its "%@" in order, as the strings tables write their
    /// placeholders; "%@" beyond them is left out.
    static std::string fill(const std::string& pattern, std::initializer_list<std::string> args);
};
