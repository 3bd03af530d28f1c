#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace installerhost {

/// The command line of installer-host:
/// installer-host [--unattended] [--folder DIR]... [--shared-dictionary FILE] BUNDLE...
struct InstallerHostOptions {
    /// Run every pane without a window, pressing Continue at once.
    bool unattended = false;
    /// The answers for the open panels of an unattended run, in order.
    std::vector<std::string> folders;
    /// The saved-answers file that seeds the shared dictionary and receives it at the end.
    std::optional<std::string> sharedDictionaryPath;
    /// The plug-in bundles, one section each, in order.
    std::vector<std::string> bundlePaths;
    /// --help was given.
    bool help = false;
    /// --version was given.
    bool version = false;

    /// Reads the arguments after the program name; none with a one-line reason in error when
    /// they do not form a command line (unknown option, missing value, no bundle).
    static std::optional<InstallerHostOptions> parse(const std::vector<std::string>& arguments,
                                                     std::string& error);
    /// Gives the text of key in the user's language, or english when no table has it.
    using Texts = std::function<std::string(const std::string& key, const std::string& english)>;

    /// The usage text of the program named program, several lines, each ending in a newline.
    static std::string usage(const std::string& program = "installer-host", const Texts& texts = {});
    /// The one line that --version prints, ending in a newline.
    static std::string versionLine(const std::string& program = "installer-host");
    /// The one line printed when no display can be used (reason says why), ending in a newline.
    static std::string noDisplayLine(const std::string& reason, const std::string& program = "installer-host",
                                     const Texts& texts = {});
};

}  // namespace installerhost
