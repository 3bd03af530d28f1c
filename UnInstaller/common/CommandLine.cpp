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
};

}  // namespace

const std::vector<CommandLine::Option>& CommandLine::options()
{
    static const std::vector<Option> table = {
        {"--help", "-h", Action::Help, "CL_OPTION_HELP", "print this text and exit"},
        {"--version", "", Action::Version, "CL_OPTION_VERSION", "print the name and version and exit"},
    };
    return table;
}

CommandLine::Request CommandLine::parse(const std::vector<std::string>& arguments)
{
    Request request;
    for (const std::string& argument : arguments) {
        const Option* matched = nullptr;
        for (const Option& option : options()) {
            if (argument == option.longName || (!option.shortName.empty() && argument == option.shortName))
                matched = &option;
        }
        if (!matched)
            return Request {Action::Refuse, argument};
        if (request.action == Action::Run)
            request.action = matched->action;
    }
    return request;
}

std::string CommandLine::usage(const Texts& texts, const std::string& program, const std::string& about)
{
    std::string synopsis;
    std::size_t width = 0;
    for (const Option& option : options()) {
        synopsis += " [" + std::string(option.longName) + "]";
        width = std::max(width, option.longName.size());
    }
    std::string text = texts("CL_USAGE", "usage:") + " " + program + synopsis + "\n";
    const std::string localizedAbout = texts("CL_ABOUT", about);
    if (!localizedAbout.empty())
        text += "  " + localizedAbout + "\n";
    for (const Option& option : options()) {
        std::string name(option.longName);
        name.resize(width + 2, ' ');
        text += "  " + name + texts(std::string(option.textKey), std::string(option.english)) + "\n";
    }
    text += "  " + texts("CL_EXIT_STATUS", "exit status:") + "\n";
    for (const ExitStatus& status : kExitStatuses)
        text += "    " + texts(status.key, status.english) + "\n";
    return text;
}

std::string CommandLine::refusal(const Texts& texts, const std::string& program, const std::string& argument)
{
    return fill(texts("CL_UNKNOWN_OPTION", "%@: unknown option %@"), {program, argument}) + "\n";
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
