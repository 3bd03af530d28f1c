#pragma once

#include "platform/security/Authorization.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/// Follows one run of the removal program to the end of its output while the window stays
/// responsive: every line goes to the system log and, read as a removal event, to the tally and
/// the progress panel; the panel's Stop asks the program to stop after the module at hand. Once
/// Stop is pressed the panel says so until the run ends; a run that has not counted its modules
/// after kWaitingAfter is waiting for another removal, and the panel says that instead.
class RemovalSession {
public:
    /// The reason the removal program gives for each module it did not come to after a stop.
    static constexpr const char* kStoppedBeforeReason = "the removal was stopped before this module";
    /// How long a run may go without its "total" line before the panel says it waits.
    static constexpr std::chrono::milliseconds kWaitingAfter{1000};
    /// The longest the removal program waits for another removal to let go of the registry.
    static constexpr int kLongestWaitSeconds = 30;

    /// What the run reported.
    struct Tally {
        /// Entries the plan named ("total N").
        std::size_t total = 0;
        /// Modules now gone: removed or already absent.
        std::vector<std::string> gone;
        /// Those of gone that were already absent.
        std::vector<std::string> absent;
        /// Modules kept, with the program's reason; those the run did not come to are in notTried.
        std::vector<std::pair<std::string, std::string>> kept;
        /// Modules the run did not come to because it was stopped: still listed and whole.
        std::vector<std::string> notTried;
        /// Files a removed module's receipt lists that stayed ("PATH : REASON"), by module.
        std::vector<std::pair<std::string, std::string>> keptFiles;
        /// The user pressed Stop.
        bool stopped = false;
        /// Another removal held the lock.
        bool busy = false;
        /// The program said that it waits for another removal to let go of the lock.
        bool waited = false;
        /// Why the program did nothing, when it said so.
        std::optional<std::string> refused;
    };

    /// The texts the progress panel shows.
    struct Texts {
        std::string title;
        std::string stopButton;
        std::string stopping;
        /// The line while the run waits for another removal to end.
        std::string waiting;
        /// The line for the index-th module of total, named name.
        std::function<std::string(std::size_t index, std::size_t total, const std::string& name)> progress;
    };

    /// The program's name in log lines, and the module name the window shows for an identifier.
    RemovalSession(std::string programName, std::function<std::string(const std::string&)> nameOf, Texts texts);

    /// Whether each line goes to the system log (and standard error); on by default.
    void setLogLines(bool logLines) { m_logLines = logLines; }

    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    /// The clock that decides when the run is said to wait, read once each time the session
    /// looks at the program's output; the steady clock unless set.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    /// Reads stream to its end, then answers the tally. authorization is the reference the
    /// program was started through.
    Tally follow(platform::AuthorizationRef authorization, std::FILE* stream);

private:
    void take(const std::string& line, Tally& tally);
    std::chrono::steady_clock::time_point now() const;

    std::string m_programName;
    std::function<std::string(const std::string&)> m_nameOf;
    Texts m_texts;
    bool m_logLines = true;
    Clock m_clock;
    bool m_counted = false;
    bool m_toldWaiting = false;
    std::size_t m_index = 0;
    std::string m_current;
};
