#include "installer-host/InstallerHostOptions.h"

namespace installerhost {

namespace {

constexpr const char* kUsageKey = "HOST_USAGE";
constexpr const char* kNoDisplayKey = "HOST_NO_DISPLAY";

// Puts program in place of every "%@".
std::string fill(const std::string& pattern, const std::string& program)
{
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '@') {
            text += program;
            ++i;
            continue;
        }
        text += pattern[i];
    }
    return text;
}

// Takes the value of an option given as "--name VALUE" or "--name=VALUE"; answers whether the
// argument at index was that option, advancing index past a separate value.
bool takeValue(const std::vector<std::string>& arguments, std::size_t& index, const std::string& name,
               std::optional<std::string>& value, std::string& error)
{
    const std::string& argument = arguments[index];
    if (argument == name) {
        if (index + 1 >= arguments.size()) {
            error = "option " + name + " needs a value";
            return true;
        }
        value = arguments[++index];
        return true;
    }
    const std::string prefix = name + "=";
    if (argument.compare(0, prefix.size(), prefix) == 0) {
        value = argument.substr(prefix.size());
        return true;
    }
    return false;
}

}  // namespace

std::optional<InstallerHostOptions> InstallerHostOptions::parse(const std::vector<std::string>& arguments,
                                                                std::string& error)
{
    InstallerHostOptions options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            options.bundlePaths.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return options;
        }
        if (argument == "--version") {
            options.version = true;
            return options;
        }
        if (argument == "--unattended") {
            options.unattended = true;
            continue;
        }
        std::optional<std::string> value;
        error.clear();
        if (takeValue(arguments, i, "--folder", value, error)) {
            if (!value)
                return std::nullopt;
            if (value->empty()) {
                error = "option --folder needs a folder";
                return std::nullopt;
            }
            options.folders.push_back(*value);
            continue;
        }
        if (takeValue(arguments, i, "--shared-dictionary", value, error)) {
            if (!value)
                return std::nullopt;
            if (value->empty()) {
                error = "option --shared-dictionary needs a file";
                return std::nullopt;
            }
            options.sharedDictionaryPath = *value;
            continue;
        }
        error = "unknown option " + argument;
        return std::nullopt;
    }
    if (options.bundlePaths.empty()) {
        error = "no plug-in bundle given";
        return std::nullopt;
    }
    return options;
}

std::string InstallerHostOptions::usage(const std::string& program, const Texts& texts)
{
    const std::string english =
        "usage: %@ [--unattended] [--folder DIR]... [--shared-dictionary FILE] BUNDLE...\n"
        "       %@ --help | --version\n"
        "  Shows the pane of each plug-in bundle in turn, with Go Back and Continue, then installs\n"
        "  what the panes chose, with an administrator's permission.\n"
        "  --unattended              no window: enter each pane, print its state, press Continue,\n"
        "                            then install and print one line per host application\n"
        "  --folder DIR              the answer of the next folder chooser of an unattended run\n"
        "                            (a chooser with no answer left is cancelled)\n"
        "  --shared-dictionary FILE  seed the shared dictionary from FILE when it exists, and\n"
        "                            write the final shared dictionary to FILE at the end\n"
        "  exit status:\n"
        "    0  every pane was left forward and everything selected is installed\n"
        "    1  cancelled before anything was installed\n"
        "    2  bad command line or bundle\n"
        "    3  a pane could not be left (unattended)\n"
        "    4  FILE could not be read or written\n"
        "    5  installed, but some host applications were skipped\n"
        "    65 the install plan is missing or cannot be used\n"
        "    69 no graphical display can be used (DISPLAY or WAYLAND_DISPLAY; --unattended needs\n"
        "       none), or no authorization service, authentication agent or installation program\n"
        "    70 the installation program failed\n"
        "    73 the folder for the modules cannot be made\n"
        "    74 the module registry cannot be read or written\n"
        "    75 another installation or removal is running\n"
        "    77 administrator rights were refused or the request was dismissed\n"
        "    78 the module-folders setting cannot be used\n";
    return fill(texts ? texts(kUsageKey, english) : english, program);
}

std::string InstallerHostOptions::versionLine(const std::string& program)
{
    return program + " " + INSTALLER_HOST_VERSION + "\n";
}

std::string InstallerHostOptions::noDisplayLine(const std::string& reason, const std::string& program,
                                                const Texts& texts)
{
    const std::string english = "%@: the window needs a graphical display, and none can be used (%@); run %@ "
                                "--unattended to install without one";
    const std::string pattern = texts ? texts(kNoDisplayKey, english) : english;
    // The second placeholder is the reason, every other one the program.
    std::string line;
    int placeholder = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '@') {
            line += ++placeholder == 2 ? reason : program;
            ++i;
            continue;
        }
        line += pattern[i];
    }
    return line + "\n";
}

}  // namespace installerhost
