#pragma once

#include "installer-host/HostExitStatus.h"

#include <iosfwd>
#include <string>

namespace installerhost {

class InstallerSession;

/// A run without anyone at the screen: each pane is entered, its state printed (title, whether
/// Continue is enabled, every table of its view with each row's tick, text and enabled flag),
/// and Continue pressed at once. The Install step that follows is the program's.
class UnattendedRun {
public:
    /// Exit status when every pane was left forward.
    static constexpr int kCompleted = kExitDone;
    /// Exit status when a pane could not be left.
    static constexpr int kStuck = kExitStuck;

    /// The session must outlive the run; state goes to out, the reason of a stop to err.
    UnattendedRun(InstallerSession& session, std::ostream& out, std::ostream& err);

    /// Goes through every pane; kCompleted, or kStuck after one line on err
    /// ("Continue is disabled on pane TITLE" or "pane TITLE refused to exit").
    int run();

private:
    void printPane(std::size_t index);

    InstallerSession& m_session;
    std::ostream& m_out;
    std::ostream& m_err;
};

}  // namespace installerhost
