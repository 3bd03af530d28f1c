#include "UnInstaller/common/CommandLine.h"

#include <algorithm>
#include <initializer_list>

namespace {

/// One character of UTF-8 text: its code point and where its bytes are.
struct Character {
    char32_t code = 0;
    std::size_t at = 0;
    std::size_t length = 1;
};

std::vector<Character> characters(std::string_view text)
{
    std::vector<Character> result;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80 ? 1 : byte >= 0xf0 ? 4 : byte >= 0xe0 ? 3 : byte >= 0xc0 ? 2 : 1;
        if (i + length > text.size())
            length = 1;
        char32_t code = length == 1 ? byte : byte & (0xffu >> (length + 1));
        for (std::size_t k = 1; k < length; ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3fu);
        result.push_back({code, i, length});
        i += length;
    }
    return result;
}

/// East Asian wide and full-width characters, which take two columns.
bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0x303e) || (c >= 0x3041 && c <= 0x33ff) ||
           (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) || (c >= 0xa000 && c <= 0xa4cf) ||
           (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) ||
           (c >= 0xff00 && c <= 0xff60) || (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x20000 && c <= 0x3fffd);
}

/// Characters no line may start with: closing brackets and punctuation, and small kana.
bool isClosing(char32_t c)
{
    static constexpr std::u32string_view kClosing =
        U")]},.:;!?%\u3001\u3002\uff0c\uff0e\uff09\u300d\u300f\u3011\u3015\u3009\u300b\uff01\uff1f\uff1a"
        U"\uff1b\u30fc\u3041\u3043\u3045\u3047\u3049\u3063\u3083\u3085\u3087\u30a1\u30a3\u30a5\u30a7"
        U"\u30a9\u30c3\u30e3\u30e5\u30e7\u30fb";
    return kClosing.find(c) != std::u32string_view::npos;
}

/// Characters no line may end with: opening brackets.
bool isOpening(char32_t c)
{
    static constexpr std::u32string_view kOpening = U"([{\uff08\u300c\u300e\u3010\u3014\u3008\u300a";
    return kOpening.find(c) != std::u32string_view::npos;
}

/// Hangul, which Korean breaks only between words, at blanks.
bool isHangul(char32_t c)
{
    return (c >= 0xac00 && c <= 0xd7a3) || (c >= 0x1100 && c <= 0x11ff) || (c >= 0x3130 && c <= 0x318f);
}

bool isWordCharacter(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

/// Whether a line may break between a and b (neither a blank): beside a Chinese or Japanese
/// character, unless that would start a line with closing punctuation or end one with opening
/// punctuation, or cut a word of Latin letters off the wide text it touches through punctuation.
bool mayBreakBetween(char32_t a, char32_t b)
{
    if ((!isWide(a) && !isWide(b)) || isHangul(a) || isHangul(b))
        return false;
    if (isClosing(b) || isOpening(a))
        return false;
    return isWordCharacter(a) && isWordCharacter(b);
}

struct ExitStatus {
    const char* key;
    const char* english;
};

const ExitStatus kExitStatuses[] = {
    {"CL_EXIT_0", "0 when the program ended normally"},
    {"CL_EXIT_1", "1 when it could not start"},
    {"CL_EXIT_2", "2 when the command line was not understood"},
    {"CL_EXIT_69", "69 when no graphical display can be used (DISPLAY or WAYLAND_DISPLAY)"},
    {"CL_EXIT_REMOVE", "with --list or --remove:"},
    {"CL_EXIT_REMOVE_0", "0 every named module is now absent (removed, or already gone)"},
    {"CL_EXIT_REMOVE_1", "1 some named modules were kept (the output says why)"},
    {"CL_EXIT_REMOVE_65", "65 with --strict: an identifier is not in the module registry"},
    {"CL_EXIT_REMOVE_66", "66 modules were named, but no module registry exists"},
    {"CL_EXIT_REMOVE_69", "69 no polkit or no authentication agent, or the removal program cannot start"},
    {"CL_EXIT_REMOVE_70", "70 the removal program failed"},
    {"CL_EXIT_REMOVE_73", "73 the uninstall plan cannot be written"},
    {"CL_EXIT_REMOVE_74", "74 the module registry cannot be read, or the output cannot be written"},
    {"CL_EXIT_REMOVE_75", "75 another removal is running"},
    {"CL_EXIT_REMOVE_77", "77 not authorized, or the password prompt was dismissed"},
    {"CL_EXIT_REMOVE_78", "78 the module-folders setting cannot be used"},
};

bool isAction(CommandLine::Action action)
{
    using Action = CommandLine::Action;
    return action == Action::List || action == Action::Remove || action == Action::RemoveAll;
}

}  // namespace

const std::vector<CommandLine::Option>& CommandLine::options()
{
    static const std::vector<Option> table = {
        {"--help", "-h", Action::Help, "CL_OPTION_HELP", "print this text and exit"},
        {"--version", "", Action::Version, "CL_OPTION_VERSION", "print the name and version and exit"},
        {"--list", "", Action::List, "CL_OPTION_LIST",
         "print the installed modules without opening a window: identifier, name, install path, "
         "and whether each can be removed"},
        {"--remove", "", Action::Remove, "CL_OPTION_REMOVE",
         "remove the modules with these identifiers without a window; as root directly, else "
         "through an administrator's password (polkit)",
         "ID..."},
        {"--remove-all", "", Action::RemoveAll, "CL_OPTION_REMOVE_ALL", "remove every module that can be removed"},
        {"--dry-run", "-n", Action::DryRun, "CL_OPTION_DRY_RUN", "with --remove: say what would be removed, change nothing"},
        {"--json", "", Action::Json, "CL_OPTION_JSON", "with --list or --remove: print one JSON document"},
        {"--strict", "", Action::Strict, "CL_OPTION_STRICT",
         "with --remove: end with status 65 when an identifier is not in the module registry (without it, "
         "such an identifier is reported as unknown and the status stays 0)"},
    };
    return table;
}

CommandLine::Request CommandLine::parse(const std::vector<std::string>& arguments)
{
    Request request;
    const auto refuse = [](const std::string& argument, Request::Why why = Request::Why::Misplaced) {
        Request refused;
        refused.action = Action::Refuse;
        refused.refused = argument;
        refused.why = why;
        return refused;
    };
    bool takingIds = false;
    std::string lastAction;
    for (const std::string& argument : arguments) {
        const Option* matched = nullptr;
        for (const Option& option : options()) {
            if (argument == option.longName || (!option.shortName.empty() && argument == option.shortName))
                matched = &option;
        }
        if (!matched && takingIds && !argument.empty() && argument[0] != '-') {
            request.ids.push_back(argument);
            continue;
        }
        takingIds = false;
        if (!matched)
            return refuse(argument, Request::Why::Unknown);
        if (request.action == Action::Help || request.action == Action::Version)
            continue;
        if (matched->action == Action::Json) {
            request.json = true;
        } else if (matched->action == Action::Strict) {
            request.strict = true;
        } else if (matched->action == Action::DryRun) {
            request.dryRun = true;
        } else if (matched->action == Action::Help || matched->action == Action::Version) {
            request.action = matched->action;
        } else if (request.action != Action::Run) {
            return refuse(argument);
        } else {
            request.action = matched->action;
            lastAction = argument;
            takingIds = matched->action == Action::Remove;
        }
    }
    if (request.action == Action::Help || request.action == Action::Version)
        return request;
    if (request.action == Action::Remove && request.ids.empty())
        return refuse(lastAction, Request::Why::NeedsIdentifier);
    if ((request.json && !isAction(request.action)))
        return refuse("--json");
    if (request.dryRun && request.action != Action::Remove && request.action != Action::RemoveAll)
        return refuse("--dry-run");
    if (request.strict && request.action != Action::Remove)
        return refuse("--strict");
    return request;
}

std::size_t CommandLine::displayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (const Character& c : characters(text))
        width += isWide(c.code) ? 2 : 1;
    return width;
}

std::string CommandLine::wrap(std::string_view text, const std::string& firstIndent, std::size_t indent,
                              std::size_t width)
{
    const std::vector<Character> chars = characters(text);
    const auto columns = [](const Character& c) -> std::size_t { return isWide(c.code) ? 2 : 1; };
    std::string result;
    std::string line = firstIndent;
    std::size_t lineWidth = displayWidth(firstIndent);
    const std::string continuation(indent, ' ');
    bool lineHasText = false;
    std::size_t i = 0;
    while (i < chars.size()) {
        // The next piece: up to the next place a line may break, without the blanks after it.
        std::size_t end = i + 1;
        while (end < chars.size() && chars[end].code != ' ' && !mayBreakBetween(chars[end - 1].code, chars[end].code))
            ++end;
        std::size_t pieceWidth = 0;
        for (std::size_t k = i; k < end; ++k)
            pieceWidth += columns(chars[k]);
        std::size_t blanks = end;
        while (blanks < chars.size() && chars[blanks].code == ' ')
            ++blanks;
        if (lineHasText && lineWidth + pieceWidth > width) {
            result += line + "\n";
            line = continuation;
            lineWidth = indent;
            lineHasText = false;
        }
        // A piece wider than a whole line is cut where it has to be.
        for (std::size_t k = i; k < end; ++k) {
            if (lineHasText && lineWidth + columns(chars[k]) > width) {
                result += line + "\n";
                line = continuation;
                lineWidth = indent;
            }
            line.append(text.substr(chars[k].at, chars[k].length));
            lineWidth += columns(chars[k]);
            lineHasText = true;
        }
        // Blanks between pieces are kept only where the next piece stays on the line.
        if (blanks > end && blanks < chars.size()) {
            std::size_t nextWidth = 0;
            std::size_t next = blanks + 1;
            while (next < chars.size() && chars[next].code != ' ' &&
                   !mayBreakBetween(chars[next - 1].code, chars[next].code))
                ++next;
            for (std::size_t k = blanks; k < next; ++k)
                nextWidth += columns(chars[k]);
            if (lineWidth + (blanks - end) + nextWidth <= width) {
                line.append(blanks - end, ' ');
                lineWidth += blanks - end;
            } else {
                result += line + "\n";
                line = continuation;
                lineWidth = indent;
                lineHasText = false;
            }
        }
        i = blanks;
    }
    return result + line + "\n";
}

std::string CommandLine::usage(const Texts& texts, const std::string& program, const std::string& about)
{
    // The synopsis: an option in brackets is never split over two lines.
    const std::string lead = texts("CL_USAGE", "usage:") + " " + program + " ";
    const std::size_t leadWidth = displayWidth(lead);
    std::string text = lead;
    std::size_t lineWidth = leadWidth;
    std::size_t width = 0;
    bool first = true;
    for (const Option& option : options()) {
        const std::string spelled = std::string(option.longName) +
                                    (option.operands.empty() ? std::string() : " " + std::string(option.operands));
        width = std::max(width, spelled.size());
        const std::string item = "[" + spelled + "]";
        if (!first && lineWidth + 1 + item.size() > kColumns) {
            text += "\n" + std::string(leadWidth, ' ');
            lineWidth = leadWidth;
        } else if (!first) {
            text += " ";
            ++lineWidth;
        }
        text += item;
        lineWidth += item.size();
        first = false;
    }
    text += "\n";
    const std::string localizedAbout = texts("CL_ABOUT", about);
    if (!localizedAbout.empty())
        text += wrap(localizedAbout, "  ", 2);
    for (const Option& option : options()) {
        std::string name = std::string(option.longName) +
                           (option.operands.empty() ? std::string() : " " + std::string(option.operands));
        name.resize(width + 2, ' ');
        text += wrap(texts(std::string(option.textKey), std::string(option.english)), "  " + name, width + 4);
    }
    text += wrap(texts("CL_EXIT_STATUS", "exit status:"), "  ", 2);
    for (const ExitStatus& status : kExitStatuses) {
        const bool heading = std::string_view(status.key) == "CL_EXIT_REMOVE";
        const std::string line = texts(status.key, status.english);
        // Continuation lines start under the words after the status number.
        const std::size_t number = line.find(' ');
        const std::size_t hanging = heading || number == std::string::npos ? 4 : 4 + displayWidth(line.substr(0, number + 1));
        text += wrap(line, heading ? "  " : "    ", hanging);
    }
    return text;
}

std::string CommandLine::refusal(const Texts& texts, const std::string& program, const Request& request)
{
    switch (request.why) {
    case Request::Why::NeedsIdentifier:
        return fill(texts("CL_NEEDS_IDENTIFIER", "%@: %@ needs at least one module identifier"),
                    {program, request.refused}) +
               "\n";
    case Request::Why::Misplaced:
        return fill(texts("CL_MISPLACED_OPTION", "%@: %@ does not go with the other options"), {program, request.refused}) +
               "\n";
    case Request::Why::Unknown:
        break;
    }
    return fill(texts("CL_UNKNOWN_OPTION", "%@: unknown option %@"), {program, request.refused}) + "\n";
}

std::string CommandLine::noDisplay(const Texts& texts, const std::string& program, const std::string& reason)
{
    return fill(texts("CL_NO_DISPLAY", "%@: this program needs a graphical display, and none can be used (%@)"),
                {program, reason}) +
           "\n";
}

std::string CommandLine::versionLine(const std::string& program, const std::string& version)
{
    return program + " " + version + "\n";
}

std::string CommandLine::fill(const std::string& pattern, std::initializer_list<std::string> args)
{
    std::string text;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '@') {
            if (next != args.end())
                text += *next++;
            ++i;
            continue;
        }
        text += pattern[i];
    }
    return text;
}
