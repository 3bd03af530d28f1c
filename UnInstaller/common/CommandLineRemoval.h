#pragma once

#include "UnInstaller/common/CommandLine.h"

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

/// Plugsweep without a window, for administrators and configuration management: lists the
/// registry's modules and removes modules through the window's own plan writer, removal program
/// and protocol. As root it starts the removal program directly; as another user it asks for
/// administrator rights through polkit, as the window does (a text agent answers on a terminal).
class CommandLineRemoval {
public:
    /// Exit statuses, in the style of sysexits.h.
    static constexpr int kExitDone = 0;            ///< every named module is now absent
    static constexpr int kExitKept = 1;            ///< some named modules were kept
    static constexpr int kExitUsage = 2;           ///< a wrong command line
    static constexpr int kExitUnknown = 65;        ///< with --strict: an identifier is not in the registry
    static constexpr int kExitNoRegistry = 66;     ///< modules named, but no registry exists
    static constexpr int kExitUnavailable = 69;    ///< no polkit, no authentication agent, or no removal program
    static constexpr int kExitSoftware = 70;       ///< the removal program failed unexpectedly
    static constexpr int kExitCannotCreate = 73;   ///< the plan could not be written
    static constexpr int kExitRegistry = 74;       ///< the registry cannot be read
    static constexpr int kExitOutput = 74;         ///< the output cannot be written
    static constexpr int kExitBusy = 75;           ///< another removal is running
    static constexpr int kExitNotAuthorized = 77;  ///< rights refused or the prompt dismissed
    static constexpr int kExitSetting = 78;        ///< the module-folders setting cannot be used

    struct Options {
        bool json = false;
        bool dryRun = false;
        /// Every module that can be removed, instead of ids.
        bool all = false;
        /// An identifier that is not in the registry ends the run with kExitUnknown.
        bool strict = false;
        std::vector<std::string> ids;
    };

    /// toolPath is the removal program (the bundle's ScriptHelper).
    CommandLineRemoval(std::ostream& out, std::ostream& err, std::string toolPath);

    /// The texts of messages and reasons in the user's language (each language's
    /// CommandLine.strings); English unless set. The JSON documents stay English.
    void setTexts(CommandLine::Texts texts) { m_texts = std::move(texts); }

    /// Whether a root process starts the removal program directly (true) or asks through the
    /// installed authorization backend like any other user (tests that supply their own).
    void setDirectWhenPrivileged(bool direct) { m_directWhenPrivileged = direct; }

    /// Prints every listed module: identifier, name, install path and whether it can be removed.
    /// Output that cannot be written ends it with kExitOutput and one line on the error stream.
    int list(bool json);

    /// Removes the modules the options name and prints one line (or one JSON entry) per module:
    /// removed, absent (already gone), unknown (not in the registry: removed earlier, or
    /// mistyped; a warning line says so), kept with its reason.
    int remove(const Options& options);

    /// A reason in English (for JSON) and in the user's language (for text).
    struct Reason {
        std::string english;
        std::string shown;
        bool empty() const { return english.empty(); }
    };

private:
    /// The text of key, "%@" filled with args in order, in the user's language.
    std::string say(const std::string& key, const std::string& english, std::initializer_list<std::string> args = {}) const;
    Reason reason(const std::string& key, const std::string& english, std::initializer_list<std::string> args = {}) const;
    /// One line on the error stream: the program's name, then the message.
    void complain(const std::string& message);
    /// kExitOutput with its line when the output could not be written; otherwise status.
    int finish(int status);

    CommandLine::Texts m_texts;
    std::ostream& m_out;
    std::ostream& m_err;
    std::string m_toolPath;
    bool m_directWhenPrivileged = true;
};

/// text as a JSON string, quotes included.
std::string jsonString(const std::string& text);
