#pragma once

#include "platform/security/Authorization.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/// Follows one run of the removal program to the end of its output while the window stays
/// responsive: every line goes to the system log and, read as a removal event, to the tally and
/// the progress panel; the panel's Stop asks the program to stop after the module at hand.
class RemovalSession {
public:
    /// What the run reported.
    struct Tally {
        /// Entries the plan named ("total N").
        std::size_t total = 0;
        /// Modules now gone: removed or already absent.
        std::vector<std::string> gone;
        /// Those of gone that were already absent.
        std::vector<std::string> absent;
        /// Modules kept, with the program's reason.
        std::vector<std::pair<std::string, std::string>> kept;
        /// Files a removed module's receipt lists that stayed ("PATH : REASON"), by module.
        std::vector<std::pair<std::string, std::string>> keptFiles;
        /// The user pressed Stop.
        bool stopped = false;
        /// Another removal held the lock.
        bool busy = false;
        /// Why the program did nothing, when it said so.
        std::optional<std::string> refused;
    };

    /// The texts the progress panel shows.
    struct Texts {
        std::string title;
        std::string stopButton;
        std::string stopping;
        /// The line for the index-th module of total, named name.
        std::function<std::string(std::size_t index, std::size_t total, const std::string& name)> progress;
    };

    /// The program's name in log lines, and the module name the window shows for an identifier.
    RemovalSession(std::string programName, std::function<std::string(const std::string&)> nameOf, Texts texts);

    /// Whether each line goes to the system log (and standard error); on by default.
    void setLogLines(bool logLines) { m_logLines = logLines; }

    /// Reads stream to its end, then answers the tally. authorization is the reference the
    /// program was started through.
    Tally follow(platform::AuthorizationRef authorization, std::FILE* stream);

private:
    void take(const std::string& line, Tally& tally);

    std::string m_programName;
    std::function<std::string(const std::string&)> m_nameOf;
    Texts m_texts;
    bool m_logLines = true;
    std::size_t m_index = 0;
    std::string m_current;
};
