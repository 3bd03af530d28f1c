#include "UnInstaller/common/CommandLine.h"

#include <algorithm>
#include <initializer_list>

namespace {

// Puts args in place of "%@" in order, as the strings tables write their placeholders.
std::string fill(const std::string& pattern, std::initializer_list<std::string> args)
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
    {"CL_EXIT_REMOVE_66", "66 modules were named, but no module registry exists"},
    {"CL_EXIT_REMOVE_69", "69 no polkit or no authentication agent, or the removal program cannot start"},
    {"CL_EXIT_REMOVE_70", "70 the removal program failed"},
    {"CL_EXIT_REMOVE_73", "73 the uninstall plan cannot be written"},
    {"CL_EXIT_REMOVE_74", "74 the module registry cannot be read"},
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
    return request;
}

std::string CommandLine::usage(const Texts& texts, const std::string& program, const std::string& about)
{
    std::string synopsis;
    std::size_t width = 0;
    for (const Option& option : options()) {
        const std::string spelled = std::string(option.longName) +
                                    (option.operands.empty() ? std::string() : " " + std::string(option.operands));
        synopsis += " [" + spelled + "]";
        width = std::max(width, spelled.size());
    }
    std::string text = texts("CL_USAGE", "usage:") + " " + program + synopsis + "\n";
    const std::string localizedAbout = texts("CL_ABOUT", about);
    if (!localizedAbout.empty())
        text += "  " + localizedAbout + "\n";
    for (const Option& option : options()) {
        std::string name = std::string(option.longName) +
                           (option.operands.empty() ? std::string() : " " + std::string(option.operands));
        name.resize(width + 2, ' ');
        text += "  " + name + texts(std::string(option.textKey), std::string(option.english)) + "\n";
    }
    text += "  " + texts("CL_EXIT_STATUS", "exit status:") + "\n";
    for (const ExitStatus& status : kExitStatuses) {
        const bool heading = std::string_view(status.key) == "CL_EXIT_REMOVE";
        text += (heading ? "  " : "    ") + texts(status.key, status.english) + "\n";
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
